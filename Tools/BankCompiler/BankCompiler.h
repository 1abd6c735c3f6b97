#pragma once
// The bank compiler: turns a readable XML source of presets into the binary
// bank the program loads (Audio/AudioPreset.h describes the bytes): an
// "abnk" compressed block for a bank (the factory bank) or an "alst" block
// for a preset list (the default lists of the data stores).
//
// XML conventions of our preset sources
// -------------------------------------
//   <bank name="Factory ROM" registry="v87u" prefix="audio.modMain">
//     <preset name="Default">
//       <param name="modTamblor.release" groups="8" values="10ms"/>
//       <param name="io-params.grouping" values="0,0,1,1,2,2,3,3"/>
//       <param name="instance-name" type="text" values="MASTER BUS"/>
//       <param name="modTamblor.mode-params.knee">
//         <group values="0"/> <group values="0.25"/>
//       </param>
//     </preset>
//     <preset name="Loud" base="Default">
//       <param name="modTamblor.ingain" groups="8" values="+6dB"/>
//     </preset>
//   </bank>
//
// - The document element is <bank> (an "abnk" block) or <preset-list> (an
//   "alst" block). "name" is the bank's name; "registry" the id that preset
//   names without one get ("Default" becomes "v87u:Default"); "prefix" the
//   definition name of the registry's hierarchy: the stored parameter of a
//   record is named prefix + "." + the record's short name (a "full-name"
//   attribute on <param> overrides it).
// - <preset name="..."> holds <param> records; their order in the output is
//   ascending byte order of the short names (the order the registry writes),
//   and a short name may appear once per preset. A preset name may appear
//   once per source. With base="..." a preset starts from the records of a
//   preset defined earlier in the source, and its own <param> records
//   replace those of the same short name or add to them.
// - <param>: "name" (short name), "type" ("number" by default, "text", or
//   "raw" with each value written in hexadecimal), "esize" (components per
//   element, default 1), "sep" (separator of the values, default ","). The
//   values are either a "values" attribute, used for "groups" groups
//   (default 1), or one <group> child per group, each with a "values"
//   attribute or <v> children holding one value each (for texts that contain
//   the separator). An empty "values" is one empty text for a text record
//   and no element otherwise. Numbers are the stored values (seconds, linear
//   gains, fractions), not the texts shown to the user; a number may instead
//   carry the unit the user sees and is then converted as the parameter
//   converters convert it: "+6dB" (linear gain exp(dB / (20 / ln 10))),
//   "1.5ms" (seconds), "80%" (fraction), and a ratio "4:1" (stored as 1/4).
// - Errors name the source, line and what is wrong; nothing is written.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CBankCompiler {
public:
    struct Output {
        bool isList = false;          // <preset-list>: "alst", else "abnk"
        std::vector<uint8_t> bank;    // the uncompressed bank bytes
        std::vector<uint8_t> block;   // the compressed block
    };

    static bool compileXml(std::string_view xml, const std::string& sourceName, Output* out, std::string* error);
    static bool compileFile(const std::string& path, Output* out, std::string* error);

    // A compressed block: id, u32 size, u32 Adler-32 of the size bytes, zlib stream.
    static std::vector<uint8_t> compressBlock(std::span<const uint8_t> data, const char (&id)[5]);
};
