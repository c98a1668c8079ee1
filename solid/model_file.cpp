#include "solid/model_file.h"

#include <Model/COM/NMR_DLLInterfaces.h>

#include <algorithm>
#include <cstring>
#include <new>

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
    failure = std::string("the 3MF writer could not ") + step;
    DWORD code = 0;
    LPCSTR message = nullptr;
    if (object && NMR::lib3mf_getlasterror(object, &code, &message) == 0 && message && *message) {
        failure += std::string(": ") + message;
    }
    return false;
}

// Where lib3mf's writer puts the file: bytes at a position it can move back to, since a zip
// archive's headers are filled in after the data. One pass, where asking for the size first
// would encode the whole model twice.
struct MemorySink {
    std::vector<std::uint8_t>& bytes;
    std::uint64_t position = 0;
};

// lib3mf's callbacks return 0 for success.
std::uint32_t writeToSink(std::uint8_t* data, std::uint32_t size, void* user)
{
    MemorySink& sink = *static_cast<MemorySink*>(user);
    try {
        if (sink.position + size > sink.bytes.size()) {
            sink.bytes.resize(static_cast<std::size_t>(sink.position + size));
        }
    } catch (const std::bad_alloc&) {
        return 1;  // no exception may cross the library's C interface
    }
    std::memcpy(sink.bytes.data() + sink.position, data, size);
    sink.position += size;
    return 0;
}

std::uint32_t seekInSink(std::uint64_t position, void* user)
{
    MemorySink& sink = *static_cast<MemorySink*>(user);
    if (position > sink.bytes.size()) {
        return 1;
    }
    sink.position = position;
    return 0;
}

// Extensions whose content type lib3mf declares itself; declaring one again is refused.
bool declaredByLibrary(const std::string& extension)
{
    for (const char* known : {"model", "rels", "png", "jpg", "jpeg", "texture"}) {
        if (extension == known) {
            return true;
        }
    }
    return false;
}

// The parts, each with its content type declared by its extension, as OPC requires.
bool addParts(NMR::PLib3MFBase* model, const std::vector<PackagePart>& parts, std::string& failure)
{
    std::vector<std::string> declared;
    for (const PackagePart& part : parts) {
        const std::size_t dot = part.name.rfind('.');
        const std::string extension = dot == std::string::npos ? std::string() : part.name.substr(dot + 1);
        if (!extension.empty() && !declaredByLibrary(extension) &&
            std::find(declared.begin(), declared.end(), extension) == declared.end()) {
            if (NMR::lib3mf_model_addcustomcontenttypeutf8(model, extension.c_str(),
                                                           part.contentType.c_str()) != 0) {
                return lib3mfFailed(model, "declare a part's content type", failure);
            }
            declared.push_back(extension);
        }
        Lib3mf attachment;
        std::string name = part.name;
        std::string relationship = TARSOLA_RELATIONSHIP;
        if (NMR::lib3mf_model_addattachmentutf8(model, name.data(), relationship.data(),
                                                attachment.out()) != 0) {
            return lib3mfFailed(model, "add a part", failure);
        }
        // The interface takes the bytes as writable; it only copies them.
        std::vector<std::uint8_t> bytes = part.bytes;
        if (NMR::lib3mf_attachment_readfrombuffer(attachment.get(), bytes.data(), bytes.size()) != 0) {
            return lib3mfFailed(attachment.get(), "store a part", failure);
        }
    }
    return true;
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
    if (file.parts && !addParts(model.get(), *file.parts, failure)) {
        return false;
    }
    Lib3mf writer;
    if (NMR::lib3mf_model_querywriter(model.get(), "3mf", writer.out()) != 0) {
        return lib3mfFailed(model.get(), "make a 3MF writer", failure);
    }
    using WriteCallback = std::uint32_t (*)(std::uint8_t*, std::uint32_t, void*);
    using SeekCallback = std::uint32_t (*)(std::uint64_t, void*);
    WriteCallback write = writeToSink;
    SeekCallback seek = seekInSink;
    void* writeAddress = nullptr;
    void* seekAddress = nullptr;
    // The interface takes the callbacks as plain pointers.
    std::memcpy(&writeAddress, &write, sizeof write);
    std::memcpy(&seekAddress, &seek, sizeof seek);
    MemorySink sink{bytes};
    if (NMR::lib3mf_writer_writetocallback(writer.get(), writeAddress, seekAddress, &sink) != 0 ||
        bytes.empty()) {
        bytes.clear();
        return lib3mfFailed(writer.get(), "encode the model", failure);
    }
    // Lib3mf ties the parts from the model part; OPC ties a package's own parts from the package.
    if (file.parts && !file.parts->empty()) {
        std::vector<std::uint8_t> tied;
        std::string why;
        if (!tiePartsToPackage(bytes.data(), bytes.size(), tied, why)) {
            bytes.clear();
            failure = "the 3MF writer could not tie its parts to the package: " + why;
            return false;
        }
        bytes = std::move(tied);
    }
    return true;
}
