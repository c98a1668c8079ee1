#include "support/model_reader.h"

#include <Model/COM/NMR_DLLInterfaces.h>

namespace {

class Lib3mf {
public:
    ~Lib3mf()
    {
        if (object_) {
            NMR::lib3mf_release(object_);
        }
    }
    NMR::PLib3MFBase* get() const { return object_; }
    NMR::PLib3MFBase** out() { return &object_; }

private:
    NMR::PLib3MFBase* object_ = nullptr;
};

std::string utf8(LIB3MFRESULT (*get)(NMR::PLib3MFModel*, DWORD, LPSTR, ULONG, ULONG*),
                 NMR::PLib3MFModel* model, DWORD index)
{
    ULONG needed = 0;
    if (get(model, index, nullptr, 0, &needed) != 0) {
        return "?";
    }
    std::string text(needed + 1, '\0');
    get(model, index, text.data(), static_cast<ULONG>(text.size()), &needed);
    text.resize(needed);
    return text;
}

}  // namespace

ReadModel readModel(std::vector<std::uint8_t> bytes)
{
    ReadModel result;
    Lib3mf model;
    Lib3mf reader;
    if (NMR::lib3mf_createmodel(model.out()) != 0 ||
        NMR::lib3mf_model_queryreader(model.get(), "3mf", reader.out()) != 0) {
        result.failure = "no lib3mf reader";
        return result;
    }
    if (NMR::lib3mf_reader_readfrombuffer(reader.get(), bytes.data(), bytes.size()) != 0) {
        DWORD code = 0;
        LPCSTR message = nullptr;
        NMR::lib3mf_getlasterror(reader.get(), &code, &message);
        result.failure = message ? message : "unreadable";
        return result;
    }
    result.read = true;
    DWORD warnings = 0;
    NMR::lib3mf_reader_getwarningcount(reader.get(), &warnings);
    result.warnings = static_cast<int>(warnings);
    DWORD unit = 0;
    NMR::lib3mf_model_getunit(model.get(), &unit);
    result.millimetres = unit == NMR::MODELUNIT_MILLIMETER;

    DWORD entries = 0;
    NMR::lib3mf_model_getmetadatacount(model.get(), &entries);
    for (DWORD i = 0; i < entries; ++i) {
        result.metadata[utf8(NMR::lib3mf_model_getmetadatakeyutf8, model.get(), i)] =
            utf8(NMR::lib3mf_model_getmetadatavalueutf8, model.get(), i);
    }

    Lib3mf objects;
    NMR::lib3mf_model_getmeshobjects(model.get(), objects.out());
    BOOL more = false;
    while (objects.get() && NMR::lib3mf_resourceiterator_movenext(objects.get(), &more) == 0 && more) {
        Lib3mf object;
        NMR::lib3mf_resourceiterator_getcurrent(objects.get(), object.out());
        if (++result.meshObjects > 1) {
            continue;
        }
        DWORD vertexCount = 0;
        DWORD triangleCount = 0;
        NMR::lib3mf_meshobject_getvertexcount(object.get(), &vertexCount);
        NMR::lib3mf_meshobject_gettrianglecount(object.get(), &triangleCount);
        std::vector<NMR::MODELMESHVERTEX> vertices(vertexCount);
        std::vector<NMR::MODELMESHTRIANGLE> triangles(triangleCount);
        NMR::lib3mf_meshobject_getvertices(object.get(), vertices.data(), vertexCount, nullptr);
        NMR::lib3mf_meshobject_gettriangleindices(object.get(), triangles.data(), triangleCount, nullptr);
        for (const auto& v : vertices) {
            result.mesh.vertices.push_back({v.m_fPosition[0], v.m_fPosition[1], v.m_fPosition[2]});
        }
        for (const auto& t : triangles) {
            result.mesh.triangles.push_back({t.m_nIndices[0], t.m_nIndices[1], t.m_nIndices[2]});
        }
    }
    Lib3mf items;
    NMR::lib3mf_model_getbuilditems(model.get(), items.out());
    while (items.get() && NMR::lib3mf_builditemiterator_movenext(items.get(), &more) == 0 && more) {
        ++result.buildItems;
    }
    return result;
}
