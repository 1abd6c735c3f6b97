#include "Tools/BankCompiler/BankCompiler.h"

#include <pugixml.hpp>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace {

// Little-endian writer of the bank format.
struct Writer {
    std::vector<uint8_t> bytes;
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    }
    void f64(double v) {
        uint64_t u = 0;
        std::memcpy(&u, &v, sizeof u);
        for (int i = 0; i < 8; ++i) bytes.push_back(uint8_t(u >> (8 * i)));
    }
    void str(std::string_view s) {
        u32(uint32_t(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    void raw(std::span<const uint8_t> b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
};

enum class Type { Number, Text, Raw };

struct Record {
    std::string shortName;
    std::vector<uint8_t> data;  // stored parameter
};

class CBankSource {
public:
    CBankSource(std::string_view xml, const std::string& sourceName) : m_source(sourceName) {
        m_lineStarts.push_back(0);
        for (size_t i = 0; i < xml.size(); ++i)
            if (xml[i] == '\n') m_lineStarts.push_back(i + 1);
    }

    bool run(std::string_view xml, CBankCompiler::Output* out) {
        pugi::xml_document doc;
        pugi::xml_parse_result res = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
        if (!res) return fail(res.offset, std::string("malformed XML: ") + res.description());
        pugi::xml_node top = doc.document_element();
        if (!top) return fail(0, "no document element");
        const std::string kind = top.name();
        if (kind != "bank" && kind != "preset-list")
            return fail(top, "the document element must be <bank> or <preset-list>, not <" + kind + ">");
        m_registry = top.attribute("registry").value();
        m_prefix = top.attribute("prefix").value();

        std::vector<std::vector<uint8_t>> presets;
        for (pugi::xml_node n : top.children()) {
            if (n.type() != pugi::node_element) continue;
            if (std::strcmp(n.name(), "preset") != 0) return fail(n, std::string("unexpected <") + n.name() + ">");
            std::vector<uint8_t> preset;
            if (!compilePreset(n, &preset)) return false;
            presets.push_back(std::move(preset));
        }
        Writer w;
        w.str(top.attribute("name").value());
        w.u32(uint32_t(presets.size()));
        for (const auto& p : presets) w.raw(p);
        out->isList = kind == "preset-list";
        out->bank = std::move(w.bytes);
        out->block = CBankCompiler::compressBlock(out->bank, out->isList ? "alst" : "abnk");
        return true;
    }

    const std::string& error() const { return m_error; }

private:
    bool compilePreset(pugi::xml_node n, std::vector<uint8_t>* out) {
        std::string name = n.attribute("name").value();
        if (name.empty()) return fail(n, "<preset> without a name");
        if (name.find(':') == std::string::npos) {
            if (m_registry.empty()) return fail(n, "preset '" + name + "' needs a registry id (\"registry\" attribute)");
            name = m_registry + ":" + name;
        }
        if (m_compiled.count(name)) return fail(n, "preset '" + name + "' appears twice");
        std::vector<Record> records;
        if (!n.attribute("base").empty()) {
            std::string base = n.attribute("base").value();
            if (base.find(':') == std::string::npos && !m_registry.empty()) base = m_registry + ":" + base;
            auto it = m_compiled.find(base);
            if (it == m_compiled.end()) return fail(n, "base preset '" + base + "' is not defined before '" + name + "'");
            records = it->second;
        }
        std::set<std::string> seen;
        for (pugi::xml_node r : n.children()) {
            if (r.type() != pugi::node_element) continue;
            if (std::strcmp(r.name(), "param") != 0) return fail(r, std::string("unexpected <") + r.name() + ">");
            Record rec;
            if (!compileParam(r, &rec)) return false;
            if (!seen.insert(rec.shortName).second)
                return fail(r, "parameter '" + rec.shortName + "' appears twice in preset '" + name + "'");
            // A record of the base preset is replaced.
            auto same = std::find_if(records.begin(), records.end(),
                                     [&](const Record& x) { return x.shortName == rec.shortName; });
            if (same != records.end())
                *same = std::move(rec);
            else
                records.push_back(std::move(rec));
        }
        std::sort(records.begin(), records.end(),
                  [](const Record& a, const Record& b) { return a.shortName < b.shortName; });
        m_compiled[name] = records;
        Writer w;
        w.str(name);
        w.u32(uint32_t(records.size()));
        for (const Record& r : records) {
            w.str(r.shortName);
            w.u32(uint32_t(r.data.size()));
            w.raw(r.data);
        }
        *out = std::move(w.bytes);
        return true;
    }

    // The values of one group, as written.
    bool groupValues(pugi::xml_node n, const std::string& sep, Type type, std::vector<std::string>* out) {
        out->clear();
        bool hasChildren = false;
        for (pugi::xml_node v : n.children("v")) {
            hasChildren = true;
            out->push_back(v.text().get());
        }
        if (hasChildren) return true;
        const std::string text = n.attribute("values").value();
        if (text.empty()) {
            if (type == Type::Text) out->push_back(std::string());
            return true;
        }
        for (size_t from = 0;;) {
            size_t at = text.find(sep, from);
            out->push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
            if (at == std::string::npos) break;
            from = at + sep.size();
        }
        return true;
    }

    static bool plainNumber(const std::string& text, double* v, std::string* unit) {
        std::string t = text;
        t.erase(0, t.find_first_not_of(" \t"));
        t.erase(t.find_last_not_of(" \t") + 1);
        char* end = nullptr;
        errno = 0;
        *v = std::strtod(t.c_str(), &end);
        if (t.empty() || end == t.c_str() || errno == ERANGE || !std::isfinite(*v)) return false;
        *unit = end;
        unit->erase(0, unit->find_first_not_of(" \t"));
        return true;
    }

    // A stored value, or a value in the unit the user sees converted the way
    // the parameter converters convert it: "+6dB" (linear gain), "1.5ms"
    // (seconds), "80%" (fraction), "4:1" (ratio stored as 1/4).
    bool parseNumber(pugi::xml_node n, const std::string& text, double* v) {
        const auto invalid = [&] { return fail(n, "invalid number '" + text + "'"); };
        std::string unit;
        const size_t colon = text.find(':');
        if (colon != std::string::npos) {
            double a = 0, b = 0;
            std::string ua, ub;
            if (!plainNumber(text.substr(0, colon), &a, &ua) || !plainNumber(text.substr(colon + 1), &b, &ub) ||
                !ua.empty() || !ub.empty() || !(a > 0.0) || !(b > 0.0))
                return invalid();
            *v = b / a;
            return true;
        }
        if (!plainNumber(text, v, &unit)) return invalid();
        if (unit.empty()) return true;
        if (unit == "dB")
            *v = std::exp(*v / 8.685889638065037);  // 20 / ln 10, as the gain converter
        else if (unit == "ms")
            *v = *v * 0.001;
        else if (unit == "%")
            *v = *v / 100.0;
        else
            return invalid();
        return true;
    }

    bool parseHex(pugi::xml_node n, const std::string& text, std::vector<uint8_t>* out) {
        out->clear();
        std::string t;
        for (char c : text)
            if (!std::isspace(static_cast<unsigned char>(c))) t += c;
        if (t.size() % 2) return fail(n, "odd number of hexadecimal digits in '" + text + "'");
        for (size_t i = 0; i < t.size(); i += 2) {
            char* end = nullptr;
            const std::string pair = t.substr(i, 2);
            const long b = std::strtol(pair.c_str(), &end, 16);
            if (*end) return fail(n, "invalid hexadecimal value '" + text + "'");
            out->push_back(uint8_t(b));
        }
        return true;
    }

    bool compileParam(pugi::xml_node n, Record* rec) {
        rec->shortName = n.attribute("name").value();
        if (rec->shortName.empty()) return fail(n, "<param> without a name");
        std::string full = n.attribute("full-name").value();
        if (full.empty()) full = m_prefix.empty() ? rec->shortName : m_prefix + "." + rec->shortName;
        const std::string typeName = n.attribute("type").empty() ? "number" : n.attribute("type").value();
        Type type;
        if (typeName == "number")
            type = Type::Number;
        else if (typeName == "text")
            type = Type::Text;
        else if (typeName == "raw")
            type = Type::Raw;
        else
            return fail(n, "unknown type '" + typeName + "' (number, text or raw)");
        const int esize = n.attribute("esize").as_int(1);
        if (esize < 1 || (type != Type::Number && esize != 1)) return fail(n, "invalid esize");
        const std::string sep = n.attribute("sep").empty() ? "," : n.attribute("sep").value();
        if (sep.empty()) return fail(n, "empty separator");

        // The groups as written.
        std::vector<std::vector<std::string>> groups;
        if (n.child("group")) {
            if (!n.attribute("values").empty() || !n.attribute("groups").empty())
                return fail(n, "a <param> with <group> children takes no \"values\" or \"groups\"");
            for (pugi::xml_node g : n.children("group")) {
                groups.emplace_back();
                if (!groupValues(g, sep, type, &groups.back())) return false;
            }
        } else {
            const int count = n.attribute("groups").as_int(1);
            if (count < 1 || count > 256) return fail(n, "invalid group count");
            std::vector<std::string> values;
            if (!groupValues(n, sep, type, &values)) return false;
            groups.assign(size_t(count), values);
        }

        Writer w;
        w.str(full);
        w.u32(1);  // version
        w.u32(uint32_t(esize));
        w.u32(type == Type::Number ? 0 : 1);
        w.u32(uint32_t(groups.size()));
        if (type == Type::Number) {
            for (const auto& g : groups) {
                if (g.size() % size_t(esize))
                    return fail(n, "the values of '" + rec->shortName + "' are not a multiple of esize");
                w.u32(uint32_t(g.size() / size_t(esize)));
                for (const std::string& s : g) {
                    double v = 0;
                    if (!parseNumber(n, s, &v)) return false;
                    w.f64(v);
                }
            }
        } else {
            // Items numbered from 1 in order of first use; equal values share one.
            std::vector<std::vector<uint8_t>> items;
            std::vector<std::vector<uint32_t>> numbers;
            for (const auto& g : groups) {
                numbers.emplace_back();
                for (const std::string& s : g) {
                    std::vector<uint8_t> content;
                    if (type == Type::Text) {
                        content.assign(s.begin(), s.end());
                    } else if (!parseHex(n, s, &content)) {
                        return false;
                    }
                    auto it = std::find(items.begin(), items.end(), content);
                    if (it == items.end()) it = items.insert(items.end(), content);
                    numbers.back().push_back(uint32_t(it - items.begin()) + 1);
                }
            }
            w.u32(uint32_t(items.size()));
            for (size_t i = 0; i < items.size(); ++i) {
                w.u32(uint32_t(i + 1));
                w.u32(type == Type::Text ? 1 : 2);
                w.u32(uint32_t(items[i].size()));
                w.raw(items[i]);
            }
            for (const auto& g : numbers) {
                w.u32(uint32_t(g.size()));
                for (uint32_t k : g) w.u32(k);
            }
        }
        rec->data = std::move(w.bytes);
        return true;
    }

    int lineOf(ptrdiff_t offset) const {
        auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), size_t(std::max<ptrdiff_t>(offset, 0)));
        return int(it - m_lineStarts.begin());
    }
    bool fail(ptrdiff_t offset, const std::string& what) {
        m_error = m_source + ":" + std::to_string(lineOf(offset)) + ": error: " + what;
        return false;
    }
    bool fail(pugi::xml_node n, const std::string& what) { return fail(n.offset_debug(), what); }

    std::string m_source;
    std::vector<size_t> m_lineStarts;
    std::string m_registry, m_prefix;
    std::string m_error;
    // The records of the presets compiled so far, by full name (for "base").
    std::map<std::string, std::vector<Record>> m_compiled;
};

}  // namespace

std::vector<uint8_t> CBankCompiler::compressBlock(std::span<const uint8_t> data, const char (&id)[5]) {
    Writer w;
    for (int i = 0; i < 4; ++i) w.bytes.push_back(uint8_t(id[i]));
    w.u32(uint32_t(data.size()));
    const uint8_t sizeBytes[4] = {w.bytes[4], w.bytes[5], w.bytes[6], w.bytes[7]};
    w.u32(uint32_t(adler32(1, sizeBytes, 4)));
    uLongf packed = compressBound(uLong(data.size()));
    std::vector<uint8_t> z(packed);
    compress2(z.data(), &packed, data.data(), uLong(data.size()), Z_BEST_COMPRESSION);
    z.resize(packed);
    w.raw(z);
    return std::move(w.bytes);
}

bool CBankCompiler::compileXml(std::string_view xml, const std::string& sourceName, Output* out, std::string* error) {
    CBankSource source(xml, sourceName);
    Output result;
    if (!source.run(xml, &result)) {
        *error = source.error();
        return false;
    }
    *out = std::move(result);
    return true;
}

bool CBankCompiler::compileFile(const std::string& path, Output* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": error: cannot read the file";
        return false;
    }
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return compileXml(xml, path, out, error);
}
