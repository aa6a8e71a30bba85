#include "engine/Language.h"

#include <gtest/gtest.h>

#include <set>

TEST(Language, TheTableHasItsHundredRowsInPickerOrder) {
    const auto& table = languages();
    ASSERT_EQ(table.size(), 100u);
    EXPECT_EQ(table[0], (Language{"auto", "Automatic"}));
    EXPECT_EQ(table[1], (Language{"en", "English"}));
    EXPECT_EQ(table[30], (Language{"no", "Norwegian"}));
    EXPECT_EQ(table[84], (Language{"nn", "Nynorsk"}));
    EXPECT_EQ(table[94], (Language{"haw", "Hawaiian"}));
    EXPECT_EQ(table[98], (Language{"jw", "Javanese"}));
    EXPECT_EQ(table[99], (Language{"su", "Sundanese"}));

    std::set<std::string> ids;
    for (const Language& language : table) {
        EXPECT_TRUE(ids.insert(language.id).second) << "duplicate id " << language.id;
        if (language.id != "auto" && language.id != "haw") {
            EXPECT_EQ(language.id.size(), 2u) << language.id;
        }
        EXPECT_FALSE(language.name.empty());
        EXPECT_EQ(language.name.find(' '), std::string::npos);
    }
    EXPECT_EQ(&languages(), &table);  // built once
}

TEST(Language, NameLookupShowsAnIdTheTableDoesNotHaveAsItIs) {
    EXPECT_EQ(languageName("de"), "German");
    EXPECT_EQ(languageName("auto"), "Automatic");
    // An id the table does not have is shown as it was stored, not as a language it is not.
    EXPECT_EQ(languageName("yue"), "yue");
    EXPECT_EQ(languageName("DE"), "DE");
    EXPECT_EQ(languageName(""), "");
}
