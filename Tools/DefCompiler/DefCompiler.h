#pragma once
// The definitions compiler: turns a definition document written in XML into
// the compiled form the program loads (Core/XMLData.h describes the bytes).
//
// XML conventions of our definition sources
// -----------------------------------------
// - The document element is <definitions> with no attributes; its element
//   children become the top-level nodes (children of the unnamed root node).
// - Every other element is one node. The element name is the node's creator
//   tag ("core:object", "audio:param", "ui:frame"). The attribute "name" is the
//   object's name and is not stored as an attribute; all other attributes are
//   stored in document order. An attribute may appear only once per element.
//   Values are taken as XML reads them: entities decoded, and tabs and line
//   breaks inside a value become blanks.
// - Text inside an element (character data and CDATA, adjacent pieces joined)
//   becomes a child node tagged "content", named "content", with the single
//   attribute "value" holding the text exactly as written (entities decoded,
//   line ends normalised to "\n"). Text pieces and child elements keep their
//   document order. Text made only of blanks, tabs and line ends is layout and
//   is dropped. Comments and processing instructions are ignored.
// - A run-time template is written
//       <template name="plugin" base-tag="core:object">
//           <core:object> ...body... </core:object>
//       </template>
//   with exactly one element child, its body, and no text. "base-tag" names the
//   tag that instances are created with; when omitted it is the body's tag.
//   A template name may be defined once per document. The template is stored
//   as a template node (it is recorded by the loader, not created).
// - Static expansion: an element whose tag names a template defined earlier in
//   the document (in document order, at any depth) is expanded in place: the
//   node takes the template's base tag, the body's attributes in body order
//   with the element's own values replacing them, then the element's further
//   attributes in its order (an attribute the body leaves unset is written in
//   the body as an empty string and stays present), the body's children and
//   then the element's own. The element's name wins; without one the body's
//   name is kept. A template body may itself use earlier templates.
// - Nesting is limited to kDefMaxDepth levels below the root (the loader's
//   limit); string indices, attribute counts and child counts are 16-bit.
//   Exceeding a limit or any malformed input fails with a message that names
//   the source, line and column.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Deepest node nesting the loader accepts (top-level nodes are at depth 1).
inline constexpr int kDefMaxDepth = 200;

// One node of a definition tree, after static expansion.
struct CDefNode {
    std::string tag;
    std::string name;
    bool isTemplate = false;
    std::string baseTag;                                     // templates only
    std::vector<std::pair<std::string, std::string>> attrs;  // object nodes, in order
    std::vector<CDefNode> children;                          // a template: exactly its body
    int line = 0;                                            // source line (0: unknown)

    const std::string* findAttr(std::string_view attrName) const;
};

class CDefCompiler {
public:
    // Parses definition XML into its expanded tree: an unnamed root node whose
    // children are the top-level nodes. sourceName is used in messages.
    static bool parseXml(std::string_view xml, const std::string& sourceName, CDefNode* root, std::string* error);

    // Writes the compiled form of a tree (root tag and name must be empty).
    static bool writeBinary(const CDefNode& root, std::vector<uint8_t>* out, std::string* error);

    // parseXml followed by writeBinary.
    static bool compileXml(std::string_view xml, const std::string& sourceName, std::vector<uint8_t>* out,
                           std::string* error);
    // Reads and compiles an XML file.
    static bool compileFile(const std::string& path, std::vector<uint8_t>* out, std::string* error);
};
