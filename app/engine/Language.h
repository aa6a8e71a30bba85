#pragma once

#include <string>
#include <vector>

// A spoken language the recognizer accepts: its code ("auto" for the recognizer's own detection) and English name.
struct Language {
    std::string id;
    std::string name;

    bool operator==(const Language&) const = default;
};

// The 100 languages in picker order; row 0 is "auto", row 1 "en".
const std::vector<Language>& languages();

// The name of the first row with this id; the id itself for one the table does not have (a stored id from a later
// recognizer version, or one written into the settings file by hand), so that it is shown as it was used.
std::string languageName(const std::string& id);
// Whether the table has a row with this id: the recognizer knows the languages of the table, and no other.
bool isKnownLanguage(const std::string& id);
