// The objects a benchmark sends: clean or infected, of a given size, as data or as a file the
// daemon reads itself.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

struct Object {
    std::string name; // the name sent with the data
    std::string data;
    std::string path; // the same bytes on disk, for requests that name a server path
    bool infected = false;
};

// Deterministic bytes: an infected object starts with the standard anti-virus test file, which the
// demo base knows at the start of an object; a clean one holds nothing any base knows.
std::string MakeObjectData(size_t size, bool infected);

// The object, also written under dir (when dir is not empty) for path requests; false when the
// file could not be written.
bool MakeObject(size_t size, bool infected, const std::string& dir, Object* out);

} // namespace bench
