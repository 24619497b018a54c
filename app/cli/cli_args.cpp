#include "app/cli/cli_args.h"

#include <charconv>
#include <cstdio>

bool Cli_args::has(const std::string& name) const {
    for (const auto& o : options)
        if (o.first == name) return true;
    return false;
}

Cli_args Cli_parse(const std::vector<std::string>& args, const std::vector<Cli_option>& known) {
    Cli_args r;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const Cli_option* option = nullptr;
        for (const Cli_option& s : known)
            if (word == s.name) option = &s;
        if (!option) {
            if (word.size() > 2 && word.rfind("--", 0) == 0) {
                r.error = "unknown option " + word;
                return r;
            }
            r.plain.push_back(word);
            continue;
        }
        if (!option->takes_value) {
            r.options.emplace_back(word, "");
            continue;
        }
        if (i + 1 >= args.size()) {
            r.error = *option->missing ? std::string(option->missing) : word + " needs a value";
            return r;
        }
        r.options.emplace_back(word, args[++i]);
    }
    return r;
}

int Cli_usage_error(const std::string& text, const char* usage) {
    std::fprintf(stderr, "tovi-cli: %s\nusage: %s\n", text.c_str(), usage);
    return 2;
}

int Cli_input_error(const std::string& text) {
    std::fprintf(stderr, "tovi-cli: %s\n", text.c_str());
    return 2;
}

bool Cli_parse_int(const std::string& text, int32_t& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}
