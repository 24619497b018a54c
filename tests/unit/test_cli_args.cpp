// The command line of tovi-cli: one parser for every subcommand.
#include <gtest/gtest.h>

#include "app/cli/cli_args.h"

namespace {

TEST(Cli_args_test, WordsSplitIntoPlainWordsAndOptionsInOrder) {
    const std::vector<Cli_option> known = {{"--scale", true, "--scale needs 100 or 200"}, {"--clear", false}};
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> plain;
        std::vector<std::pair<std::string, std::string>> options;
        std::string error;
    } const cases[] = {
        {{"dir", "1", "2"}, {"dir", "1", "2"}, {}, ""},
        {{"--scale", "100", "dir", "-5", "3"}, {"dir", "-5", "3"}, {{"--scale", "100"}}, ""},
        {{"dir", "--clear", "--scale", "200", "--scale", "100"}, {"dir"}, {{"--clear", ""}, {"--scale", "200"}, {"--scale", "100"}}, ""},
        {{"dir", "--scale"}, {}, {}, "--scale needs 100 or 200"},
        {{"dir", "--colour", "red"}, {}, {}, "unknown option --colour"},
        {{"--"}, {"--"}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "" : c.args.back());
        const Cli_args a = Cli_parse(c.args, known);
        EXPECT_EQ(a.error, c.error);
        if (!c.error.empty()) continue;
        EXPECT_EQ(a.plain, c.plain);
        EXPECT_EQ(a.options, c.options);
    }
    EXPECT_TRUE(Cli_parse({"--clear"}, known).has("--clear"));
    EXPECT_FALSE(Cli_parse({"x"}, known).has("--clear"));
}

TEST(Cli_args_test, WholeNumbersAndNothingElse) {
    int32_t v = 0;
    EXPECT_TRUE(Cli_parse_int("-12", v));
    EXPECT_EQ(v, -12);
    for (const char* bad : {"", "1.5", "12a", " 1", "99999999999"}) EXPECT_FALSE(Cli_parse_int(bad, v)) << bad;
}

}  // namespace
