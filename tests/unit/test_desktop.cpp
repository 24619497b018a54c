// The desktop's rules as the Win32 layer applies them: logical buttons, the
// dialog font, the dialog template with that font, one Tovi per working
// folder, and the choice of the working folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/shell.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "temp_folder.h"

namespace {

TEST(Physical_key, SwappedButtonsExchangeOnlyTheTwoButtons) {
    struct Case {
        int vk;
        bool swapped;
        int expect;
    };
    const Case cases[] = {{Vk_rbutton, false, Vk_rbutton}, {Vk_lbutton, false, Vk_lbutton},
                          {Vk_rbutton, true, Vk_lbutton},  {Vk_lbutton, true, Vk_rbutton},
                          {Vk_escape, true, Vk_escape},    {Vk_space, true, Vk_space}};
    for (const Case& c : cases) EXPECT_EQ(Physical_key(c.vk, c.swapped), c.expect) << c.vk << " " << c.swapped;
}

TEST(Dialog_font_choose, TheFirstJapaneseUiFontTheSystemHasElseTheLaidOutOne) {
    const std::string laid_out = "ＭＳ Ｐゴシック";
    struct Case {
        const char* what;
        std::vector<std::string> installed;
        std::string expect;
    };
    const Case cases[] = {
        {"Windows 11 in Japanese", {"Arial", "Meiryo UI", "Yu Gothic UI", "ＭＳ Ｐゴシック"}, "Yu Gothic UI"},
        {"only Meiryo UI", {"Segoe UI", "Meiryo UI"}, "Meiryo UI"},
        {"names in another case", {"yu gothic ui"}, "Yu Gothic UI"},
        {"an English Windows without Japanese fonts", {"Segoe UI", "Tahoma"}, laid_out},
        {"Wine", {"Tahoma", "IPAGothic"}, laid_out},
        {"nothing listed", {}, laid_out},
    };
    for (const Case& c : cases) EXPECT_EQ(Dialog_font_choose(c.installed, laid_out), c.expect) << c.what;
}

// A small extended dialog template: no menu, no class, a title, the font,
// then one item on a 4-byte boundary.
std::vector<uint8_t> Template(const std::u16string& title, const std::u16string& face, bool with_font = true) {
    std::vector<uint8_t> t;
    auto word = [&](uint16_t w) {
        t.push_back(uint8_t(w));
        t.push_back(uint8_t(w >> 8));
    };
    auto dword = [&](uint32_t d) {
        word(uint16_t(d));
        word(uint16_t(d >> 16));
    };
    auto text = [&](const std::u16string& s) {
        for (char16_t c : s) word(c);
        word(0);
    };
    word(1);
    word(0xFFFF);
    dword(0);                                       // helpID
    dword(0);                                       // exStyle
    dword(0x80C800C0u | (with_font ? 0x40u : 0u));  // style
    word(1);                                        // one item
    word(0), word(0), word(200), word(50);          // x y cx cy
    word(0);                                        // no menu
    word(0);                                        // default class
    text(title);
    if (with_font) {
        word(9), word(400);
        t.push_back(0), t.push_back(0x80);  // italic, charset
        text(face);
    }
    while (t.size() % 4) t.push_back(0);
    for (uint8_t b : {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x11, 0x22}) t.push_back(b);  // the item
    return t;
}

TEST(Dialog_template_with_font, ReplacesTheFaceAndKeepsTheItemsAligned) {
    struct Case {
        std::u16string title, from, to;
    };
    const Case cases[] = {{u"Tovi", u"ＭＳ Ｐゴシック", u"Yu Gothic UI"},
                          {u"T", u"Yu Gothic UI", u"Meiryo UI"},
                          {u"", u"ＭＳ Ｐゴシック", u"A"}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> in = Template(c.title, c.from);
        const std::vector<uint8_t> out = Dialog_template_with_font(in.data(), in.size(), c.to);
        const std::vector<uint8_t> want = Template(c.title, c.to);
        EXPECT_EQ(out, want);
        EXPECT_EQ(out.size() % 4, 0u);
    }
}

TEST(Dialog_template_with_font, RefusesWhatIsNoExtendedTemplateWithAFont) {
    const std::vector<uint8_t> no_font = Template(u"Tovi", u"", false);
    EXPECT_TRUE(Dialog_template_with_font(no_font.data(), no_font.size(), u"Yu Gothic UI").empty());
    std::vector<uint8_t> good = Template(u"Tovi", u"ＭＳ Ｐゴシック");
    EXPECT_TRUE(Dialog_template_with_font(good.data(), 20, u"Yu Gothic UI").empty());  // cut short
    EXPECT_TRUE(Dialog_template_with_font(nullptr, 0, u"Yu Gothic UI").empty());
    EXPECT_TRUE(Dialog_template_with_font(good.data(), good.size(), u"").empty());
    good[2] = 0;  // an old-style template
    EXPECT_TRUE(Dialog_template_with_font(good.data(), good.size(), u"Yu Gothic UI").empty());
    // A title that never ends.
    std::vector<uint8_t> endless(26, 0);
    endless[0] = 1, endless[2] = 0xFF, endless[3] = 0xFF, endless[12] = 0x40;
    for (int i = 0; i < 10; ++i) endless.push_back('A'), endless.push_back(0);
    EXPECT_TRUE(Dialog_template_with_font(endless.data(), endless.size(), u"Yu Gothic UI").empty());
}

TEST(Instance_name, OneNameForEverySpellingOfAFolder) {
    const std::string a = Instance_name("C:\\Users\\Hana\\AppData\\Local\\Tovi");
    EXPECT_EQ(a.rfind("Local\\Tovi-", 0), 0u);
    EXPECT_EQ(a, Instance_name("c:\\users\\hana\\appdata\\local\\tovi"));
    EXPECT_EQ(a, Instance_name("C:/Users/Hana/AppData/Local/Tovi/"));
    EXPECT_EQ(a, Instance_name("C:\\Users\\Hana\\AppData\\Local\\Tovi\\\\"));
    EXPECT_NE(a, Instance_name("C:\\Users\\Hana\\AppData\\Local\\Tovi2"));
    EXPECT_NE(a, Instance_name("D:\\tovi"));
}

// Which folders the fake prepare accepts, by the test.
std::vector<std::string> Writable;
std::vector<std::string> Tried;
bool Prepare_if_writable(const std::string& folder) {
    Tried.push_back(folder);
    for (const std::string& w : Writable)
        if (w == folder) return true;
    return false;
}

TEST(Working_folder_choose, TheProgramFolderWhereWritableElseLocalAppData) {
    Temp_folder home;
    const std::string program = (home.path / "Program Files" / "Tovi").string();
    const std::string local = (home.path / "AppData" / "Local").string();
    const std::string own = Path_join(local, "Tovi");
    struct Case {
        const char* what;
        std::vector<std::string> writable;
        std::string local_app_data;
        std::string expect;
    };
    const Case cases[] = {
        {"a program folder Tovi may write", {program, own}, local, program},
        {"under Program Files", {own}, local, own},
        {"no folder at all", {}, local, ""},
        {"no local application data", {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Writable = c.writable;
        Tried.clear();
        EXPECT_EQ(Working_folder_choose(program, c.local_app_data, Prepare_if_writable), c.expect);
        EXPECT_EQ(Tried.front(), program);
    }
    // The own folder is made on first use.
    EXPECT_TRUE(std::filesystem::is_directory(Fs_path(own)));
    const std::string text = Folder_error_message(program, local);
    EXPECT_EQ(text.rfind(Folder_error_text, 0), 0u);
    EXPECT_NE(text.find(own), std::string::npos);
}

TEST(Working_folder_choose, WithTheRealProbeAFolderThatCannotHoldItsSubFolderIsPassedOver) {
    Temp_folder home;
    // A file where the program folder would be: nothing can be made in it.
    const std::string program = (home.path / "tovi.exe-folder").string();
    { std::FILE* f = std::fopen(program.c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
    const std::string local = (home.path / "Local").string();
    EXPECT_EQ(Working_folder_choose(program, local, Prepare_working_folder), Path_join(local, "Tovi"));
    EXPECT_TRUE(std::filesystem::is_directory(Fs_path(Path_join(Path_join(local, "Tovi"), "tovi"))));
}

}  // namespace
