// Reads the editor's asset source.
#include "Tools/ImageSetGen/AssetSource.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>

double AssetGroup::num(const std::string& key, double def) const {
    auto it = attrs.find(key);
    return it == attrs.end() || it->second.empty() ? def : std::strtod(it->second.c_str(), nullptr);
}

bool AssetSource::load(const std::string& path, std::string* error) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_file(path.c_str());
    if (!r) {
        *error = path + ": " + r.description();
        return false;
    }
    pugi::xml_node root = doc.child("ui-assets");
    if (!root) {
        *error = path + ": the document element is not <ui-assets>";
        return false;
    }
    std::set<uint32_t> chars;
    for (pugi::xml_node cs : root.children("charset")) {
        std::istringstream in(cs.attribute("ranges").value());
        std::string range;
        while (in >> range) {
            const size_t dash = range.find('-');
            const unsigned long a = std::strtoul(range.substr(0, dash).c_str(), nullptr, 10);
            const unsigned long b = dash == std::string::npos ? a : std::strtoul(range.substr(dash + 1).c_str(), nullptr, 10);
            if (b < a || b > 0x10FFFF) {
                *error = path + ": bad character range '" + range + "'";
                return false;
            }
            for (unsigned long c = a; c <= b; ++c) chars.insert(uint32_t(c));
        }
    }
    charset.assign(chars.begin(), chars.end());
    for (pugi::xml_node f : root.children("font"))
        fonts.push_back({f.attribute("name").value(), f.attribute("face").value(), f.attribute("size").as_double(11.0)});
    if (pugi::xml_node p = root.child("palette")) {
        for (pugi::xml_attribute a : p.attributes()) paletteAttrs[a.name()] = a.value();
        for (pugi::xml_node c : p.children("color")) {
            AssetColor color{c.attribute("name").value(), c.attribute("rgb").value(), {}};
            for (pugi::xml_attribute a : c.attributes()) color.attrs[a.name()] = a.value();
            colors.push_back(std::move(color));
        }
    }
    for (pugi::xml_node s : root.children("image-set")) {
        AssetImageSet set;
        set.name = s.attribute("name").value();
        set.file = s.attribute("file") ? s.attribute("file").value() : set.name;
        int next = 0;
        std::set<std::string> names;
        for (pugi::xml_node g : s.children("group")) {
            AssetGroup group;
            group.name = g.attribute("name").value();
            group.recipe = g.attribute("recipe").value();
            group.frames = g.attribute("frames").as_int(1);
            group.mode = g.attribute("mode").as_int(0);
            group.first = g.attribute("first") ? g.attribute("first").as_int() : next;
            for (pugi::xml_attribute a : g.attributes()) group.attrs[a.name()] = a.value();
            if (group.frames < 1 || group.first < 0 || group.first < next || !names.insert(group.name).second) {
                *error = path + ": image set '" + set.name + "', group '" + group.name +
                         "': frames overlap the previous group or the name is taken";
                return false;
            }
            next = group.first + group.frames;
            set.groups.push_back(std::move(group));
        }
        imageSets.push_back(std::move(set));
    }
    return true;
}

const AssetImageSet* AssetSource::findSet(const std::string& name) const {
    for (const AssetImageSet& s : imageSets)
        if (s.name == name) return &s;
    return nullptr;
}
