#include "Core/XMLData.h"

#include <cstring>
#include <memory>
#include <vector>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Core/Object.h"
#include "Core/Resources.h"
#include "Platform/System.h"

namespace {

using Strings = std::vector<CString>;

class CDefinitionParser {
public:
    CDefinitionParser(std::span<const uint8_t> bytes, std::shared_ptr<const Strings> strings, CSharedObject* shared)
        : m_reader(bytes.data(), bytes.size()), m_strings(std::move(strings)), m_shared(shared) {}

    CMemoryReader& reader() { return m_reader; }

    CError readString(const CString** out) {
        uint16_t idx = 0;
        KEL_TRY(m_reader.readU16(&idx));
        if (idx >= m_strings->size())
            return KEL_ERROR(kelstr_CObject_loadXMLData_StringIndex, CString::number(int64_t(idx)),
                             CString::number(int64_t(m_strings->size())));
        *out = &(*m_strings)[idx];
        return {};
    }

    // Reads the attributes and children of an object node into obj.
    CError readBody(CObject* obj, int depth, std::vector<CObject*>* created) {
        uint16_t attrCount = 0;
        KEL_TRY(m_reader.readU16(&attrCount));
        for (uint16_t i = 0; i < attrCount; ++i) {
            const CString *name, *value;
            KEL_TRY(readString(&name));
            KEL_TRY(readString(&value));
            KEL_TRY(obj->setAttr(*name, *value));
        }
        uint16_t childCount = 0;
        KEL_TRY(m_reader.readU16(&childCount));
        for (uint16_t i = 0; i < childCount; ++i) KEL_TRY(readNode(obj, depth + 1, created));
        return {};
    }

    // Reads one node below parent: a template is recorded, an object created.
    CError readNode(CObject* parent, int depth, std::vector<CObject*>* created) {
        if (depth > kMaxDefinitionDepth)
            return KEL_ERROR(kelstr_CObject_loadXMLData_TooDeep, CString::number(int64_t(kMaxDefinitionDepth)));
        const CString *tag, *name;
        uint8_t kind = 0;
        KEL_TRY(readString(&tag));
        KEL_TRY(readString(&name));
        KEL_TRY(m_reader.readU8(&kind));
        if (kind == 1) return readTemplate(*name);
        if (kind != 0) return KEL_ERROR(kelstr_CObject_loadXMLData_NodeKind, CString::number(int64_t(kind)));

        CObject* obj = nullptr;
        if (CreatorFn fn = CreatorRegistry::findCreator(*tag)) {
            obj = fn();
        } else {
            obj = new CObject();
            if (!(*tag == "template") && !(*tag == "content"))
                kelLogf("Creating CObject '%s' (tag '%s')", name->utf8().c_str(), tag->utf8().c_str());
        }
        obj->setTag(*tag);
        obj->setName(*name);
        obj->setClassRecord(CreatorRegistry::findRecord(*tag));
        if (*tag == "core:shortcut") obj->setShortcut(true);
        parent->attachChild(std::unique_ptr<CObject>(obj));
        if (created) created->push_back(obj);
        return readBody(obj, depth, nullptr);
    }

    CError readTemplate(const CString& name) {
        const CString* baseTag;
        uint32_t bodySize = 0;
        KEL_TRY(readString(&baseTag));
        KEL_TRY(m_reader.readU32(&bodySize));
        const uint8_t* body = nullptr;
        KEL_TRY(m_reader.readStreamed(&body, bodySize));
        if (m_shared) {
            CRunTimeTemplate t;
            t.name = name;
            t.baseTag = *baseTag;
            t.body.assign(body, body + bodySize);
            t.strings = m_strings;
            m_shared->registerTemplate(std::move(t));
        }
        return {};
    }

private:
    CMemoryReader m_reader;
    std::shared_ptr<const Strings> m_strings;
    CSharedObject* m_shared;
};

CError decodeStrings(std::span<const uint8_t> doc, size_t* nodeStart, std::shared_ptr<Strings>* out) {
    CMemoryReader r(doc.data(), doc.size());
    uint32_t n = 0, p = 0;
    KEL_TRY(r.readU32(&n));
    KEL_TRY(r.readU32(&p));
    const uint8_t* block = nullptr;
    KEL_TRY(r.readStreamed(&block, p));
    if (uint64_t(n) * 4 > p)
        return KEL_ERROR(kelstr_CObject_loadXMLData_StringBlock, CString::number(int64_t(n)), CString::number(int64_t(p)));
    auto strings = std::make_shared<Strings>();
    strings->reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t off = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 | uint32_t(block[4 * i + 2]) << 16 |
                       uint32_t(block[4 * i + 3]) << 24;
        const void* end = off < p ? std::memchr(block + off, 0, p - off) : nullptr;
        if (!end)
            return KEL_ERROR(kelstr_CObject_loadXMLData_StringBlock, CString::number(int64_t(n)), CString::number(int64_t(p)));
        size_t len = size_t(static_cast<const uint8_t*>(end) - (block + off));
        strings->emplace_back(std::string_view(reinterpret_cast<const char*>(block + off), len));
    }
    *nodeStart = r.position();
    *out = std::move(strings);
    return {};
}

CSharedObject* templateRegistry(CObject* target) {
    if (CSharedObject* s = CApplication::sharedObject()) return s;
    return dynamic_cast<CSharedObject*>(target);
}

}  // namespace

CError kelLoadCompiledDefinition(CObject* target, std::span<const uint8_t> document) {
    size_t nodeStart = 0;
    std::shared_ptr<Strings> strings;
    KEL_TRY(decodeStrings(document, &nodeStart, &strings));
    CDefinitionParser parser(document.subspan(nodeStart), strings, templateRegistry(target));
    // The root node: its children become children of the target.
    const CString *tag, *name;
    uint8_t kind = 0;
    KEL_TRY(parser.readString(&tag));
    KEL_TRY(parser.readString(&name));
    KEL_TRY(parser.reader().readU8(&kind));
    if (kind != 0) return KEL_ERROR(kelstr_CObject_loadXMLData_NodeKind, CString::number(int64_t(kind)));
    uint16_t attrCount = 0, childCount = 0;
    KEL_TRY(parser.reader().readU16(&attrCount));
    KEL_TRY(parser.reader().skip(size_t(attrCount) * 4));
    KEL_TRY(parser.reader().readU16(&childCount));
    std::vector<CObject*> created;
    for (uint16_t i = 0; i < childCount; ++i) KEL_TRY(parser.readNode(target, 1, &created));
    if (parser.reader().remaining())
        return KEL_ERROR(kelstr_CObject_loadXMLData_TrailingData, CString::number(int64_t(parser.reader().remaining())));
    KEL_TRY(CObject::initObjects(created));
    return {};
}

CError CObject::loadXMLData(const CString& resourceName) {
    const int64_t t0 = plat::perfCounter();
    CResourceReader res;
    KEL_TRY(res.open(resourceName));
    std::vector<uint8_t> fileBytes;
    std::span<const uint8_t> doc = res.embeddedData();
    if (!res.isEmbedded()) {
        KEL_TRY(res.readAll(&fileBytes));
        doc = fileBytes;
    }
    KEL_TRY(kelLoadCompiledDefinition(this, doc));
    const int64_t t1 = plat::perfCounter();
    kelLogf("loadXMLData \"%s\" init time: %.4f s @ %.4f s", resourceName.utf8().c_str(), plat::perfSeconds(t0, t1),
            kelSecondsSinceStart());
    return {};
}

CError CObject::createChild(const CString& templateName, const CString& childName, CObject** out) {
    CSharedObject* shared = CApplication::sharedObject();
    const CRunTimeTemplate* t = shared ? shared->findTemplate(templateName) : nullptr;
    if (!t) return KEL_ERROR(kelstr_CObject_createChild_NoTemplate, templateName);
    // Keep the template alive even if the body registers a template of the same name.
    std::shared_ptr<const Strings> strings = t->strings;
    std::vector<uint8_t> body = t->body;
    CString baseTag = t->baseTag;

    CDefinitionParser parser(body, strings, shared);
    const CString *tag, *name;
    uint8_t kind = 0;
    KEL_TRY(parser.readString(&tag));
    KEL_TRY(parser.readString(&name));
    KEL_TRY(parser.reader().readU8(&kind));
    if (kind != 0) return KEL_ERROR(kelstr_CObject_loadXMLData_NodeKind, CString::number(int64_t(kind)));

    std::unique_ptr<CObject> obj = createObject(baseTag);
    obj->setName(childName);
    CObject* raw = obj.get();
    KEL_TRY(addChild(std::move(obj)));
    KEL_TRY(parser.readBody(raw, 1, nullptr));
    if (parser.reader().remaining())
        return KEL_ERROR(kelstr_CObject_loadXMLData_TemplateBody, templateName, CString::number(int64_t(body.size())));
    KEL_TRY(raw->initTree());
    if (out) *out = raw;
    return {};
}
