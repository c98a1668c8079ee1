#include "solid/model_file.h"

#include <Model/COM/NMR_DLLInterfaces.h>

namespace {

// An object of lib3mf's C interface, released when it goes out of scope.
class Lib3mf {
public:
    Lib3mf() = default;
    ~Lib3mf()
    {
        if (object_) {
            NMR::lib3mf_release(object_);
        }
    }
    Lib3mf(const Lib3mf&) = delete;
    Lib3mf& operator=(const Lib3mf&) = delete;

    NMR::PLib3MFBase* get() const { return object_; }
    NMR::PLib3MFBase** out() { return &object_; }

private:
    NMR::PLib3MFBase* object_ = nullptr;
};

// Says which step of the encoding failed and, when lib3mf knows, why; returns false.
bool lib3mfFailed(NMR::PLib3MFBase* object, const char* step, std::string& failure)
{
    failure = std::string("lib3mf could not ") + step;
    DWORD code = 0;
    LPCSTR message = nullptr;
    if (object && NMR::lib3mf_getlasterror(object, &code, &message) == 0 && message && *message) {
        failure += std::string(": ") + message;
    }
    return false;
}

}  // namespace

bool encodeModelFile(const SolidMesh& mesh, const ModelFile& file, std::vector<std::uint8_t>& bytes,
                     std::string& failure)
{
    bytes.clear();
    Lib3mf model;
    if (NMR::lib3mf_createmodel(model.out()) != 0) {
        return lib3mfFailed(nullptr, "create a model", failure);
    }
    if (NMR::lib3mf_model_setunit(model.get(), NMR::MODELUNIT_MILLIMETER) != 0) {
        return lib3mfFailed(model.get(), "set the unit to millimetre", failure);
    }
    Lib3mf object;
    if (NMR::lib3mf_model_addmeshobject(model.get(), object.out()) != 0) {
        return lib3mfFailed(model.get(), "add the mesh", failure);
    }
    std::vector<NMR::MODELMESHVERTEX> vertices(mesh.vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const SolidVertex& v = mesh.vertices[i];
        vertices[i] = {{v.x, v.y, v.z}};
    }
    std::vector<NMR::MODELMESHTRIANGLE> triangles(mesh.triangles.size());
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        const SolidTriangle& t = mesh.triangles[i];
        triangles[i] = {{t[0], t[1], t[2]}};
    }
    if (NMR::lib3mf_object_setnameutf8(object.get(), "Insole") != 0 ||
        NMR::lib3mf_object_setuuidutf8(object.get(), file.objectUuid.c_str()) != 0 ||
        NMR::lib3mf_meshobject_setgeometry(object.get(), vertices.data(),
                                           static_cast<DWORD>(vertices.size()), triangles.data(),
                                           static_cast<DWORD>(triangles.size())) != 0) {
        return lib3mfFailed(object.get(), "store the mesh", failure);
    }
    Lib3mf item;
    if (NMR::lib3mf_model_addbuilditem(model.get(), object.get(), nullptr, item.out()) != 0 ||
        NMR::lib3mf_builditem_setuuidutf8(item.get(), file.itemUuid.c_str()) != 0 ||
        NMR::lib3mf_model_setbuilduuidutf8(model.get(), file.buildUuid.c_str()) != 0) {
        return lib3mfFailed(model.get(), "add the mesh to the build", failure);
    }
    for (const auto& [name, value] : file.metadata) {
        if (NMR::lib3mf_model_addmetadatautf8(model.get(), name.c_str(), value.c_str()) != 0) {
            return lib3mfFailed(model.get(), "add the metadata", failure);
        }
    }
    Lib3mf writer;
    if (NMR::lib3mf_model_querywriter(model.get(), "3mf", writer.out()) != 0) {
        return lib3mfFailed(model.get(), "make a 3MF writer", failure);
    }
    ULONG64 size = 0;
    if (NMR::lib3mf_writer_getstreamsize(writer.get(), &size) != 0 || size == 0) {
        return lib3mfFailed(writer.get(), "encode the model", failure);
    }
    bytes.resize(static_cast<std::size_t>(size));
    if (NMR::lib3mf_writer_writetobuffer(writer.get(), bytes.data(), size) != 0) {
        bytes.clear();
        return lib3mfFailed(writer.get(), "encode the model", failure);
    }
    return true;
}
