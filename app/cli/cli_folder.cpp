#include "app/cli/cli_folder.h"

#include <cstdio>

bool Cli_folder_load(const std::string& dir, bool ignore_checksums, Folder_content& content) {
    const Folder_problems problems = Folder_load(dir, ignore_checksums, content);
    for (const Folder_problem& p : problems) std::fprintf(stderr, "tovi-cli: %s: %s\n", dir.c_str(), p.detail.c_str());
    if (!problems.empty()) {
        bool only_sums = true;
        for (const Folder_problem& p : problems) only_sums &= p.checksum;
        if (only_sums)
            std::fprintf(stderr, "tovi-cli: %s: the files were not saved together; tovi-cli check --ignore-checksums "
                                 "tells whether they are whole\n", dir.c_str());
        return false;
    }
    for (const std::string& note : content.notes) std::fprintf(stderr, "tovi-cli: %s: note: %s\n", dir.c_str(), note.c_str());
    return true;
}

int Cli_no_route(const std::string& dir) {
    std::fprintf(stderr,
                 "tovi-cli: %s: no route built for its markers (a capture's road network, or markers changed since the "
                 "route was built); build it with tovi-cli route %s\n",
                 dir.c_str(), dir.c_str());
    return 1;
}
