#include "engine/PostProcessText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
    std::string input;
    std::string onePass;
    std::string twoPasses;
};

void checkRows(const std::vector<Row>& rows, bool literal) {
    for (const Row& row : rows) {
        const std::string once = postProcessText(row.input, literal);
        EXPECT_EQ(once, row.onePass) << "one pass of \"" << row.input << "\"";
        EXPECT_EQ(postProcessText(once, literal), row.twoPasses) << "two passes of \"" << row.input << "\"";
    }
}

const std::string NBSP = "\u00A0";

}  // namespace

TEST(PostProcessText, AnnotationsAndTrimmingWithLiteralPunctuationOff) {
    checkRows(
        {
            {"[MUSIC] one (cough) *sigh* two", "one   two", "one   two"},
            {" [x] hi ", "hi", "hi"},
            {"a [b\nc] d", "a [b\nc] d", "a [b\nc] d"},
            {"[a\tb]", "", ""},
            {"[a [b] c] d", "c] d", "c] d"},
            {"x\t", "x\t", "x\t"},
            {"x\n", "x\n", "x\n"},
            {"(a) [b] *c* d", "d", "d"},
            {"**", "", ""},
            {"[]", "", ""},
            {"a*b", "a*b", "a*b"},
            {"(unclosed", "(unclosed", "(unclosed"},
            {"a ) b ( c", "a ) b ( c", "a ) b ( c"},
            {"\U0001F600[x]\U0001F600", "\U0001F600\U0001F600", "\U0001F600\U0001F600"},
            // Spoken punctuation is left alone when the setting is off.
            {"Hello comma world period", "Hello comma world period", "Hello comma world period"},
            {"Hello, world.", "Hello, world.", "Hello, world."},
            {"", "", ""},
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
            {"Hello comma world period", "Hello, world.", "Hello world"},
            {"Hello, world.", "Hello world", "Hello world"},
            {"Hello, comma world", "Hello, world", "Hello world"},
            {"hello period", "hello.", "hello"},
            {"hello Period", "hello.", "hello"},
            {"hello PERIOD", "hello PERIOD", "hello PERIOD"},
            {"QUESTION MARK", "QUESTION MARK", "QUESTION MARK"},
            {"Question mark", "?", ""},
            {"question-mark", "?", ""},
            {"Question Mark", "?", ""},
            {"questionmark", "?", ""},
            {"What is it question mark", "What is it?", "What is it"},
            {"Hello question mark.", "Hello?", "Hello"},
            {"a new line b", "a\nb", "a\nb"},
            {"a new-line b", "a\nb", "a\nb"},
            {"a newline b", "a\nb", "a\nb"},
            {"a New line b", "a\nb", "a\nb"},
            {"a New Line b", "a New Line b", "a New Line b"},
            {"a new line  b", "a\n b", "a\n b"},
            {"new line hello", "\nhello", "\nhello"},
            {"end new line", "end\n", "end\n"},
            {"new line period", "\n", "\n"},
            {"newline.", "\n", "\n"},
            {"newline newline", "\n\n", "\n\n"},
            {"periodic", ".ic", "ic"},
            {"superiod", "su.", "su"},
            {"dashboard", "-board", "-board"},
            {"dash-board", "-board", "-board"},
            {"Commander", ",nder", "nder"},
            {"comma period", ",", ""},
            {"period comma", ".,", ""},
            {"period period", "..", ""},
            {"comma comma", ",,", ""},
            {"slash period", "/", ""},
            {"slash.", "/", ""},
            {"semicolon", ";", ""},
            {"semi-colon", ";", ""},
            {"semi colon", ";", ""},
            {"Semi Colon", "Semi Colon", "Semi Colon"},
            {"exclamation point", "exclamation point", "exclamation point"},
            {"a exclamation-Mark b", "a! b", "a b"},
            {"a exclamationmark", "a!", "a"},
            {"dash exclamation mark", "-", "-"},
            {"dash.", "-", "-"},
            {"a dash! b", "a- b", "a- b"},
            {"Dash dash", "--", "--"},
            {"a / b", "a  b", "a  b"},
            {"What? Yes!", "What Yes", "What Yes"},
            {"a; b", "a b", "a b"},
            {"e.g. period", "eg.", "eg"},
            {"a  comma  b", "a ,  b", "a   b"},
            {"it's 3:30 \"quoted\"", "it's 3:30 \"quoted\"", "it's 3:30 \"quoted\""},
            {"well-known", "well-known", "well-known"},
            {"a - b", "a - b", "a - b"},
            {"(laughs) so period", "so.", "so"},
            {"x" + NBSP + "period", "x" + NBSP + ".", "x" + NBSP},
            {"a\tperiod", "a\t.", "a\t"},
            {"", "", ""},
        },
        true);
}

TEST(PostProcessText, InvalidUtf8BecomesReplacementCharacter) {
    EXPECT_EQ(postProcessText("a\xff b", false), "a\uFFFD b");
}
