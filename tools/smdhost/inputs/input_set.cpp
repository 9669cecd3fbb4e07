#include "tools/smdhost/inputs/input_set.hpp"

#include <iostream>

#include "tools/smdhost/inputs/scenario.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdinput {

int open_inputs(const std::vector<std::string>& paths, const char* what, std::vector<Input>& inputs) {
    for (const auto& path : paths) {
        Input in{path, std::make_unique<InputFile>()};
        std::string error;
        switch (in.file->open(path, what, error)) {
            case InputFile::Opened::ok:
                break;
            case InputFile::Opened::cannot_open:
                std::cerr << "smdhost: " << error << std::endl;
                return smdsession::kExitUsage;
            case InputFile::Opened::unusable:
                std::cerr << "smdhost: " << error << std::endl;
                return smdsession::kExitFailure;
        }
        inputs.push_back(std::move(in));
    }
    return smdsession::kExitOk;
}

std::string folder_for(const Input& in) {
    return in.path == "-" ? std::string(".") : smdscenario::folder_of(in.path);
}

}  // namespace smdinput
