#include "engine/PostProcessText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
    std::string input;
    std::string cleaned;
};

void checkRows(const std::vector<Row>& rows, bool literal) {
    for (const Row& row : rows) {
        EXPECT_EQ(postProcessText(row.input, literal), row.cleaned) << "\"" << row.input << "\"";
    }
}

const std::string NBSP = "\u00A0";

}  // namespace

TEST(PostProcessText, AnnotationsAndTrimmingWithLiteralPunctuationOff) {
    checkRows(
        {
            {"[MUSIC] one (cough) *sigh* two", "one   two"},
            {" [x] hi ", "hi"},
            {"a [b\nc] d", "a [b\nc] d"},
            {"[a\tb]", ""},
            {"[a [b] c] d", "c] d"},
            {"x\t", "x\t"},
            {"x\n", "x\n"},
            {"(a) [b] *c* d", "d"},
            {"**", ""},
            {"[]", ""},
            {"a*b", "a*b"},
            {"(unclosed", "(unclosed"},
            {"a ) b ( c", "a ) b ( c"},
            {"\U0001F600[x]\U0001F600", "\U0001F600\U0001F600"},
            // Spoken punctuation is left alone when the setting is off.
            {"Hello comma world period", "Hello comma world period"},
            {"Hello, world.", "Hello, world."},
            {"", ""},
        },
        false);
}

TEST(PostProcessText, DotStopsAtEveryLineTerminator) {
    for (const std::string terminator : {"\n", "\r", "\v", "\f", "\u0085", "\u2028", "\u2029"}) {
        const std::string text = "a [b" + terminator + "c] d";
        EXPECT_EQ(postProcessText(text, false), text);
        EXPECT_EQ(postProcessText(text, true), text);
    }
}

TEST(PostProcessText, LiteralPunctuationOn) {
    checkRows(
        {
            {"Hello comma world period", "Hello, world."},
            {"Hello, world.", "Hello world"},
            {"Hello, comma world", "Hello, world"},
            {"hello period", "hello."},
            {"hello Period", "hello."},
            {"hello PERIOD", "hello PERIOD"},
            {"QUESTION MARK", "QUESTION MARK"},
            {"Question mark", "?"},
            {"question-mark", "?"},
            {"Question Mark", "?"},
            {"questionmark", "?"},
            {"What is it question mark", "What is it?"},
            {"Hello question mark.", "Hello?"},
            {"a new line b", "a\nb"},
            {"a new-line b", "a\nb"},
            {"a newline b", "a\nb"},
            {"a New line b", "a\nb"},
            {"a New Line b", "a New Line b"},
            {"a new line  b", "a\n b"},
            {"new line hello", "\nhello"},
            {"end new line", "end\n"},
            {"new line period", "\n"},
            {"newline.", "\n"},
            {"newline newline", "\n\n"},
            {"periodic", ".ic"},
            {"superiod", "su."},
            {"dashboard", "-board"},
            {"dash-board", "-board"},
            {"Commander", ",nder"},
            {"comma period", ","},
            {"period comma", ".,"},
            {"period period", ".."},
            {"comma comma", ",,"},
            {"slash period", "/"},
            {"slash.", "/"},
            {"semicolon", ";"},
            {"semi-colon", ";"},
            {"semi colon", ";"},
            {"Semi Colon", "Semi Colon"},
            {"exclamation point", "exclamation point"},
            {"a exclamation-Mark b", "a! b"},
            {"a exclamationmark", "a!"},
            {"dash exclamation mark", "-"},
            {"dash.", "-"},
            {"a dash! b", "a- b"},
            {"Dash dash", "--"},
            {"a / b", "a  b"},
            {"What? Yes!", "What Yes"},
            {"a; b", "a b"},
            {"e.g. period", "eg."},
            {"a  comma  b", "a ,  b"},
            {"it's 3:30 \"quoted\"", "it's 3:30 \"quoted\""},
            {"well-known", "well-known"},
            {"a - b", "a - b"},
            {"(laughs) so period", "so."},
            {"x" + NBSP + "period", "x" + NBSP + "."},
            {"a\tperiod", "a\t."},
            {"", ""},
        },
        true);
}

TEST(PostProcessText, InvalidUtf8BecomesReplacementCharacter) {
    EXPECT_EQ(postProcessText("a\xff b", false), "a\uFFFD b");
}
