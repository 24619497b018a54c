// The command line of tovi-cli: one parser for every subcommand, and the
// error lines they print. A subcommand lists its options; the parser splits
// the words into plain words and options with their values, in order.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Cli_option {
    const char* name;          // "--scale"
    bool takes_value;          // the next word is its value
    const char* missing = "";  // what to say when the value is missing; "" = "NAME needs a value"
};

struct Cli_args {
    std::vector<std::string> plain;
    std::vector<std::pair<std::string, std::string>> options;  // name and value ("" for a flag), in order
    std::string error;                                         // "" when the words fit the options known

    bool has(const std::string& name) const;
};

// Splits args by the options known. A word that starts with "--" and is none
// of them is an error ("unknown option --x"), as is an option without its value.
Cli_args Cli_parse(const std::vector<std::string>& args, const std::vector<Cli_option>& known);

// "tovi-cli: TEXT" and the usage line on standard error; returns 2.
int Cli_usage_error(const std::string& text, const char* usage);
// "tovi-cli: TEXT" on standard error; returns 2.
int Cli_input_error(const std::string& text);
// A whole number and nothing else.
bool Cli_parse_int(const std::string& text, int32_t& out);
