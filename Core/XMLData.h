#pragma once
// Reading compiled definitions: a string pool and a tree of nodes.
//
//   u32 N (strings), u32 P (string block bytes), string block (N u32 offsets
//   relative to the block, then NUL-terminated UTF-8 strings), one root node.
//   Node: u16 tag, u16 name, u8 kind; kind 0: u16 A, A x {u16 attr, u16 value},
//   u16 C, C child nodes; kind 1 (template): u16 base tag, u32 S, S body bytes
//   holding exactly one node.
//
// CObject::loadXMLData and CObject::createChild are implemented here.

#include <cstdint>
#include <span>

#include "Core/Error.h"

KELSTR(CObject_loadXMLData_StringIndex, "Invalid string index %1 (string count %2).");
KELSTR(CObject_loadXMLData_StringBlock, "Invalid string block (strings %1, block size %2).");
KELSTR(CObject_loadXMLData_NodeKind, "Invalid node kind %1.");
KELSTR(CObject_loadXMLData_TrailingData, "Unexpected data after the root node (%1 bytes).");
KELSTR(CObject_loadXMLData_TooDeep, "Definition nesting deeper than %1 levels.");
KELSTR(CObject_loadXMLData_TemplateBody, "Template '%1' body size %2 does not match its node.");

class CObject;

// Loads a compiled document held in memory into target (its root's children
// become children of target) and initialises what was created. Objects
// created before a failure stay attached.
CError kelLoadCompiledDefinition(CObject* target, std::span<const uint8_t> document);

// Deepest node nesting a document may have.
inline constexpr int kMaxDefinitionDepth = 200;
