// A text picture of a parsed message tree for the tests: one line per node, indented by depth,
// with every field and the exact bytes of preambles, epilogues and leaf bodies.
#pragma once

#include <string>

class DwEntity;

std::string DumpTree(const DwEntity& entity);
