#include "app/watch/ReportCommand.h"

namespace app {

bool ReadReportOptions(const std::vector<std::string>& arguments, const std::string& command,
                       bool& json, std::FILE* err) {
    json = false;
    for (const std::string& argument : arguments) {
        if (argument == "--json") {
            json = true;
        } else if (argument != command) {
            std::fprintf(err, "perchly: unknown option %s (perchly %s [--json])\n",
                         argument.c_str(), command.c_str());
            return false;
        }
    }
    return true;
}

void NoteUnreadableStore(const StoreProblem& problem, const std::string& path, const char* meaning,
                         std::FILE* err) {
    if (problem.What == StoreProblem::Kind::NewerSchema)
        std::fprintf(err, "perchly: %s was written by a newer Perchly (version %d); %s\n",
                     path.c_str(), problem.Version, meaning);
    else if (problem.What != StoreProblem::Kind::None && problem.Detail != "no such file")
        std::fprintf(err, "perchly: cannot read %s (%s); %s\n", path.c_str(),
                     problem.Detail.c_str(), meaning);
}

void WriteReport(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

}  // namespace app
