#include "Tools/DefCompiler/DefCompiler.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>

const std::string* CDefNode::findAttr(std::string_view attrName) const {
    for (const auto& [n, v] : attrs)
        if (n == attrName) return &v;
    return nullptr;
}

namespace {

bool isLayoutWhitespace(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

// ---------------------------------------------------------------------------
// XML front end: elements to nodes, text to "content" nodes, templates
// recorded and expanded where they are used.

class CXmlFrontEnd {
public:
    CXmlFrontEnd(std::string_view xml, const std::string& sourceName) : m_source(sourceName) {
        m_lineStarts.push_back(0);
        for (size_t i = 0; i < xml.size(); ++i)
            if (xml[i] == '\n') m_lineStarts.push_back(i + 1);
    }

    bool run(std::string_view xml, CDefNode* root) {
        pugi::xml_document doc;
        // CDATA kept, entities decoded, line ends normalised, comments not
        // parsed; whitespace-only character data is kept so that it joins
        // adjacent text (layout whitespace is dropped when text is flushed).
        const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata;
        pugi::xml_parse_result res = doc.load_buffer(xml.data(), xml.size(), options, pugi::encoding_auto);
        if (!res) return fail(res.offset, std::string("malformed XML: ") + res.description());

        pugi::xml_node top;
        for (pugi::xml_node n : doc.children()) {
            if (n.type() != pugi::node_element) continue;
            if (top) return fail(startOf(n), "more than one document element");
            top = n;
        }
        if (!top) return fail(0, "no document element");
        if (std::strcmp(top.name(), "definitions") != 0)
            return fail(startOf(top),
                        std::string("the document element must be <definitions>, not <") + top.name() + ">");
        if (top.first_attribute()) return fail(startOf(top), "<definitions> takes no attributes");

        *root = CDefNode();
        root->line = lineOf(startOf(top));
        for (pugi::xml_node n : top.children()) {
            if (n.type() == pugi::node_element) {
                CDefNode child;
                if (!convertElement(n, 1, &child)) return false;
                root->children.push_back(std::move(child));
            } else if ((n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) &&
                       !isLayoutWhitespace(n.value())) {
                return fail(startOf(n), "text directly inside <definitions>");
            }
        }
        return true;
    }

    const std::string& error() const { return m_error; }

private:
    struct Template {
        std::string baseTag;
        CDefNode body;
        int line = 0;
    };

    // Offset of a node's start: for an element its "<", not its name.
    static ptrdiff_t startOf(pugi::xml_node n) {
        const ptrdiff_t off = n.offset_debug();
        return n.type() == pugi::node_element && off > 0 ? off - 1 : off;
    }

    int lineOf(ptrdiff_t offset) const {
        if (offset < 0) return 0;
        auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), size_t(offset));
        return int(it - m_lineStarts.begin());
    }

    bool fail(ptrdiff_t offset, const std::string& message) {
        std::ostringstream s;
        s << m_source;
        if (offset >= 0) {
            int line = lineOf(offset);
            size_t col = size_t(offset) - m_lineStarts[size_t(line - 1)] + 1;
            s << ":" << line << ":" << col;
        }
        s << ": error: " << message;
        m_error = s.str();
        return false;
    }

    bool convertElement(pugi::xml_node el, int depth, CDefNode* out) {
        if (depth > kDefMaxDepth)
            return fail(startOf(el), "elements nested deeper than " + std::to_string(kDefMaxDepth) + " levels");
        if (std::strcmp(el.name(), "template") == 0) return convertTemplate(el, depth, out);

        CDefNode node;
        node.tag = el.name();
        node.line = lineOf(startOf(el));
        bool hasName = false;
        std::set<std::string_view> seen;
        for (pugi::xml_attribute a : el.attributes()) {
            if (!seen.insert(a.name()).second)
                return fail(startOf(el), std::string("attribute '") + a.name() + "' given twice");
            if (std::strcmp(a.name(), "name") == 0) {
                node.name = a.value();
                hasName = true;
            } else {
                node.attrs.emplace_back(a.name(), a.value());
            }
        }
        // Only templates defined before the element starts apply to it.
        auto t = m_templates.find(node.tag);
        if (!convertChildren(el, depth, &node)) return false;
        if (t == m_templates.end()) {
            *out = std::move(node);
            return true;
        }
        // Static expansion: the template's body merged with the element.
        const Template& tp = t->second;
        CDefNode merged;
        merged.tag = tp.baseTag;
        merged.name = hasName ? node.name : tp.body.name;
        merged.line = node.line;
        merged.attrs = tp.body.attrs;
        for (auto& [n, v] : node.attrs) {
            auto it = std::find_if(merged.attrs.begin(), merged.attrs.end(),
                                   [&name = n](const auto& a) { return a.first == name; });
            if (it != merged.attrs.end())
                it->second = std::move(v);
            else
                merged.attrs.emplace_back(std::move(n), std::move(v));
        }
        merged.children = tp.body.children;
        for (CDefNode& c : node.children) merged.children.push_back(std::move(c));
        *out = std::move(merged);
        return true;
    }

    // Element children and text of el, in document order, appended to node.
    bool convertChildren(pugi::xml_node el, int depth, CDefNode* node) {
        std::string text;
        int textLine = 0;
        auto flushText = [&] {
            if (!text.empty() && !isLayoutWhitespace(text)) {
                CDefNode content;
                content.tag = "content";
                content.name = "content";
                content.line = textLine;
                content.attrs.emplace_back("value", std::move(text));
                node->children.push_back(std::move(content));
            }
            text.clear();
        };
        for (pugi::xml_node n : el.children()) {
            switch (n.type()) {
            case pugi::node_pcdata:
            case pugi::node_cdata:
                if (text.empty()) textLine = lineOf(startOf(n));
                text += n.value();
                break;
            case pugi::node_element: {
                flushText();
                CDefNode child;
                if (!convertElement(n, depth + 1, &child)) return false;
                node->children.push_back(std::move(child));
                break;
            }
            default:
                break;
            }
        }
        flushText();
        return true;
    }

    bool convertTemplate(pugi::xml_node el, int depth, CDefNode* out) {
        std::string name;
        const char* baseTag = nullptr;
        for (pugi::xml_attribute a : el.attributes()) {
            if (std::strcmp(a.name(), "name") == 0)
                name = a.value();
            else if (std::strcmp(a.name(), "base-tag") == 0)
                baseTag = a.value();
            else
                return fail(startOf(el), std::string("unexpected attribute '") + a.name() + "' on <template>");
        }
        if (name.empty()) return fail(startOf(el), "<template> needs a non-empty 'name'");
        if (baseTag && !*baseTag) return fail(startOf(el), "template '" + name + "': empty 'base-tag'");
        auto prev = m_templates.find(name);
        if (prev != m_templates.end())
            return fail(startOf(el), "template '" + name + "' is already defined (line " +
                                               std::to_string(prev->second.line) + ")");

        pugi::xml_node bodyEl;
        for (pugi::xml_node n : el.children()) {
            if (n.type() == pugi::node_element) {
                if (bodyEl) return fail(startOf(n), "template '" + name + "' has more than one body element");
                bodyEl = n;
            } else if ((n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) &&
                       !isLayoutWhitespace(n.value())) {
                return fail(startOf(n), "template '" + name + "' holds text outside its body");
            }
        }
        if (!bodyEl) return fail(startOf(el), "template '" + name + "' has no body element");

        if (std::strcmp(bodyEl.name(), "template") == 0)
            return fail(startOf(bodyEl), "the body of template '" + name + "' cannot be a template");
        CDefNode body;
        if (!convertElement(bodyEl, depth + 1, &body)) return false;

        CDefNode node;
        node.tag = "template";
        node.name = name;
        node.isTemplate = true;
        node.baseTag = baseTag ? std::string(baseTag) : body.tag;
        node.line = lineOf(startOf(el));
        m_templates[name] = Template{node.baseTag, body, node.line};
        node.children.push_back(std::move(body));
        *out = std::move(node);
        return true;
    }

    std::string m_source;
    std::vector<size_t> m_lineStarts;
    std::map<std::string, Template> m_templates;
    std::string m_error;
};

// ---------------------------------------------------------------------------
// Binary writer: strings indexed in order of first use, pool sorted by bytes.

bool isValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t c = uint8_t(s[i]);
        size_t extra = 0;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (s.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

class CBinaryWriter {
public:
    bool write(const CDefNode& root, std::vector<uint8_t>* out) {
        if (!root.tag.empty() || !root.name.empty() || root.isTemplate || !root.attrs.empty())
            return fail(root, "the root node must be an unnamed object node without tag or attributes");
        uint16_t idx = 0;
        if (!intern("", root, &idx)) return false;  // string 0 is the empty string
        std::vector<uint8_t> nodes;
        if (!writeNode(root, 0, nodes)) return false;

        // Pool in ascending byte order; the offset table in order of first use.
        std::vector<const std::string*> sorted(m_order.begin(), m_order.end());
        std::sort(sorted.begin(), sorted.end(), [](const std::string* a, const std::string* b) {
            return std::lexicographical_compare(a->begin(), a->end(), b->begin(), b->end(),
                                                [](char x, char y) { return uint8_t(x) < uint8_t(y); });
        });
        const uint64_t n = m_order.size();
        uint64_t pos = 4 * n;
        std::unordered_map<const std::string*, uint64_t> offsets;
        for (const std::string* s : sorted) {
            offsets[s] = pos;
            pos += s->size() + 1;
        }
        if (pos > UINT32_MAX) return fail(root, "the string block exceeds 4 GiB");

        out->clear();
        out->reserve(8 + size_t(pos) + nodes.size());
        put32(*out, uint32_t(n));
        put32(*out, uint32_t(pos));
        for (const std::string* s : m_order) put32(*out, uint32_t(offsets[s]));
        for (const std::string* s : sorted) {
            out->insert(out->end(), s->begin(), s->end());
            out->push_back(0);
        }
        out->insert(out->end(), nodes.begin(), nodes.end());
        return true;
    }

    const std::string& error() const { return m_error; }

private:
    static void put16(std::vector<uint8_t>& b, uint16_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    }
    static void put32(std::vector<uint8_t>& b, uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    }

    bool fail(const CDefNode& where, const std::string& message) {
        std::ostringstream s;
        s << "error: ";
        if (!where.tag.empty() || !where.name.empty()) {
            s << "<" << where.tag << ">";
            if (!where.name.empty()) s << " '" << where.name << "'";
            if (where.line) s << " (line " << where.line << ")";
            s << ": ";
        }
        s << message;
        m_error = s.str();
        return false;
    }

    bool intern(const std::string& s, const CDefNode& where, uint16_t* idx) {
        auto it = m_index.find(s);
        if (it != m_index.end()) {
            *idx = uint16_t(it->second);
            return true;
        }
        if (m_order.size() > UINT16_MAX)
            return fail(where, "more than 65536 distinct strings (string indices are 16-bit)");
        if (s.find('\0') != std::string::npos) return fail(where, "a string holds a NUL character");
        if (!isValidUtf8(s)) return fail(where, "a string is not valid UTF-8");
        auto [pos, inserted] = m_index.emplace(s, uint32_t(m_order.size()));
        m_order.push_back(&pos->first);  // node-based map: the key's address is stable
        *idx = uint16_t(pos->second);
        return true;
    }

    bool putString(std::vector<uint8_t>& b, const std::string& s, const CDefNode& where) {
        uint16_t idx = 0;
        if (!intern(s, where, &idx)) return false;
        put16(b, idx);
        return true;
    }

    bool writeNode(const CDefNode& n, int depth, std::vector<uint8_t>& b) {
        if (depth > kDefMaxDepth)
            return fail(n, "nodes nested deeper than " + std::to_string(kDefMaxDepth) + " levels after expansion");
        if (!putString(b, n.tag, n) || !putString(b, n.name, n)) return false;
        if (n.isTemplate) {
            if (n.children.size() != 1 || !n.attrs.empty())
                return fail(n, "a template node holds exactly one body node and no attributes");
            b.push_back(1);
            if (!putString(b, n.baseTag, n)) return false;
            // The body is read as the root of a new instance: depth 1.
            std::vector<uint8_t> body;
            if (!writeNode(n.children[0], 1, body)) return false;
            if (body.size() > UINT32_MAX) return fail(n, "template body exceeds 4 GiB");
            put32(b, uint32_t(body.size()));
            b.insert(b.end(), body.begin(), body.end());
            return true;
        }
        b.push_back(0);
        if (n.attrs.size() > UINT16_MAX)
            return fail(n, std::to_string(n.attrs.size()) + " attributes (at most 65535)");
        put16(b, uint16_t(n.attrs.size()));
        for (const auto& [name, value] : n.attrs)
            if (!putString(b, name, n) || !putString(b, value, n)) return false;
        if (n.children.size() > UINT16_MAX)
            return fail(n, std::to_string(n.children.size()) + " children (at most 65535)");
        put16(b, uint16_t(n.children.size()));
        for (const CDefNode& c : n.children)
            if (!writeNode(c, depth + 1, b)) return false;
        return true;
    }

    std::unordered_map<std::string, uint32_t> m_index;
    std::vector<const std::string*> m_order;
    std::string m_error;
};

}  // namespace

bool CDefCompiler::parseXml(std::string_view xml, const std::string& sourceName, CDefNode* root, std::string* error) {
    CXmlFrontEnd front(xml, sourceName);
    if (front.run(xml, root)) return true;
    if (error) *error = front.error();
    return false;
}

bool CDefCompiler::writeBinary(const CDefNode& root, std::vector<uint8_t>* out, std::string* error) {
    CBinaryWriter w;
    if (w.write(root, out)) return true;
    if (error) *error = w.error();
    return false;
}

bool CDefCompiler::compileXml(std::string_view xml, const std::string& sourceName, std::vector<uint8_t>* out,
                              std::string* error) {
    CDefNode root;
    if (!parseXml(xml, sourceName, &root, error)) return false;
    if (writeBinary(root, out, error)) return true;
    if (error) *error = sourceName + ": " + *error;
    return false;
}

bool CDefCompiler::compileFile(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = path + ": error: cannot open the file for reading";
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error) *error = path + ": error: read error";
        return false;
    }
    return compileXml(text, path, out, error);
}
