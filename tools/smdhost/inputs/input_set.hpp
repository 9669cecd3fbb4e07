// The files a command reads as a stream, one after the other (replay,
// stats), all opened before any is read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/smdhost/inputs/input_file.hpp"

namespace smdinput {

struct Input {
    std::string path;
    std::unique_ptr<InputFile> file;
};

// Opens every file of `paths` ("-": standard input), `what` naming their
// kind in messages ("a scenario"). Returns 0 (kExitOk), or the exit status
// after printing why: 2 for a name that does not open (bad usage), 1 for a
// file that opens but cannot be read (a folder).
int open_inputs(const std::vector<std::string>& paths, const char* what, std::vector<Input>& inputs);

// The folder a scenario's @PATH names are resolved against.
std::string folder_for(const Input& in);

}  // namespace smdinput
