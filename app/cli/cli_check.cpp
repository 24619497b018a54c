// tovi-cli check.
//
//   tovi-cli check DIR [--ignore-checksums]
//
// Runs on DIR every check a load runs before it replaces the work: the files
// whole and of their sizes, the counts and positions, the record links, the
// pictures and the checksums that tell whether the files belong together
// (with --ignore-checksums, whole files that do not belong together pass, as
// the program loads them when the user says so). A valid folder prints its
// figures and exits 0; otherwise each problem goes to standard error, one a
// line, and the exit code is 1.
#include "app/cli/cli_check.h"

#include <cstdio>

#include "app/cli/cli_args.h"
#include "storage/data_folder.h"

int Check_command(const std::vector<std::string>& args) {
    const Cli_args a = Cli_parse(args, {{"--ignore-checksums", false}});
    if (!a.error.empty()) return Cli_usage_error(a.error, Check_usage);
    const bool ignore_checksums = a.has("--ignore-checksums");
    const std::vector<std::string>& plain = a.plain;
    if (plain.size() != 1) return Cli_usage_error("check takes one folder", Check_usage);
    const std::string& folder = plain[0];
    Folder_content content;
    const Folder_problems problems = Data_folder_check(folder, &content, ignore_checksums);
    if (!problems.empty()) {
        for (const Folder_problem& p : problems) std::fprintf(stderr, "%s: %s\n", folder.c_str(), p.detail.c_str());
        return 1;
    }
    for (const std::string& note : content.notes) std::fprintf(stderr, "%s: note: %s\n", folder.c_str(), note.c_str());
    const Base_record& b = content.base;
    std::printf("ok %s\nMap_rect %d %d %d %d\nRoad_rec_total %d\nEvac_n %d Cong_n %d Nopass_n %d\naerial %s\nroute %s\n",
                folder.c_str(), b.Map_rect.left, b.Map_rect.top, b.Map_rect.right, b.Map_rect.bottom,
                b.Road_rec_total, b.Evac_n, b.Cong_n, b.Nopass_n, content.photo.empty() ? "no" : "yes",
                content.route_current ? "current" : "none");
    return 0;
}
