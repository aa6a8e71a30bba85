#include "engine/Language.h"

const std::vector<Language>& languages() {
    // Built once on first use (thread-safe static initialisation), then only read. The order is the picker's order.
    static const std::vector<Language> table{
        {"auto", "Automatic"},
        {"en", "English"},
        {"zh", "Chinese"},
        {"de", "German"},
        {"es", "Spanish"},
        {"ru", "Russian"},
        {"ko", "Korean"},
        {"fr", "French"},
        {"ja", "Japanese"},
        {"pt", "Portuguese"},
        {"tr", "Turkish"},
        {"pl", "Polish"},
        {"ca", "Catalan"},
        {"nl", "Dutch"},
        {"ar", "Arabic"},
        {"sv", "Swedish"},
        {"it", "Italian"},
        {"id", "Indonesian"},
        {"hi", "Hindi"},
        {"fi", "Finnish"},
        {"vi", "Vietnamese"},
        {"he", "Hebrew"},
        {"uk", "Ukrainian"},
        {"el", "Greek"},
        {"ms", "Malay"},
        {"cs", "Czech"},
        {"ro", "Romanian"},
        {"da", "Danish"},
        {"hu", "Hungarian"},
        {"ta", "Tamil"},
        {"no", "Norwegian"},
        {"th", "Thai"},
        {"ur", "Urdu"},
        {"hr", "Croatian"},
        {"bg", "Bulgarian"},
        {"lt", "Lithuanian"},
        {"la", "Latin"},
        {"mi", "Maori"},
        {"ml", "Malayalam"},
        {"cy", "Welsh"},
        {"sk", "Slovak"},
        {"te", "Telugu"},
        {"fa", "Persian"},
        {"lv", "Latvian"},
        {"bn", "Bengali"},
        {"sr", "Serbian"},
        {"az", "Azerbaijani"},
        {"sl", "Slovenian"},
        {"kn", "Kannada"},
        {"et", "Estonian"},
        {"mk", "Macedonian"},
        {"br", "Breton"},
        {"eu", "Basque"},
        {"is", "Icelandic"},
        {"hy", "Armenian"},
        {"ne", "Nepali"},
        {"mn", "Mongolian"},
        {"bs", "Bosnian"},
        {"kk", "Kazakh"},
        {"sq", "Albanian"},
        {"sw", "Swahili"},
        {"gl", "Galician"},
        {"mr", "Marathi"},
        {"pa", "Punjabi"},
        {"si", "Sinhala"},
        {"km", "Khmer"},
        {"sn", "Shona"},
        {"yo", "Yoruba"},
        {"so", "Somali"},
        {"af", "Afrikaans"},
        {"oc", "Occitan"},
        {"ka", "Georgian"},
        {"be", "Belarusian"},
        {"tg", "Tajik"},
        {"sd", "Sindhi"},
        {"gu", "Gujarati"},
        {"am", "Amharic"},
        {"yi", "Yiddish"},
        {"lo", "Lao"},
        {"uz", "Uzbek"},
        {"fo", "Faroese"},
        {"ht", "Haitian"},
        {"ps", "Pashto"},
        {"tk", "Turkmen"},
        {"nn", "Nynorsk"},
        {"mt", "Maltese"},
        {"sa", "Sanskrit"},
        {"lb", "Luxembourgish"},
        {"my", "Myanmar"},
        {"bo", "Tibetan"},
        {"tl", "Tagalog"},
        {"mg", "Malagasy"},
        {"as", "Assamese"},
        {"tt", "Tatar"},
        {"haw", "Hawaiian"},
        {"ln", "Lingala"},
        {"ha", "Hausa"},
        {"ba", "Bashkir"},
        {"jw", "Javanese"},
        {"su", "Sundanese"},
    };
    return table;
}

namespace {

const Language* findLanguage(const std::string& id) {
    for (const Language& language : languages()) {
        if (language.id == id) return &language;
    }
    return nullptr;
}

}  // namespace

std::string languageName(const std::string& id) {
    const Language* language = findLanguage(id);
    return language ? language->name : id;
}

bool isKnownLanguage(const std::string& id) { return findLanguage(id) != nullptr; }
