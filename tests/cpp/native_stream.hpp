// Native streams for tests: pipes and temporary files as platform handles.
#pragma once

#include <string>

#include "core/platform/std_stream.hpp"

namespace vorna::test_support {

struct Pipe {
    platform::Handle read;
    platform::Handle write;
};

// A new anonymous pipe.
Pipe make_pipe();
// A new temporary file, open for reading and writing, deleted when closed.
platform::Handle make_temp_file();
// Everything in a temporary file, or everything left to read from a pipe up
// to its end.
std::string read_all(platform::Handle handle);
void close_handle(platform::Handle handle);
// A handle that refers to no stream.
platform::Handle no_stream();

}  // namespace vorna::test_support
