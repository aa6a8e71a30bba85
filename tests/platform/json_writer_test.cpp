#include "platform/JsonWriter.h"

#include <gtest/gtest.h>

TEST(JsonWriter, NestedValuesUseTheSpacedColonStyleWithoutAFinalNewline) {
    nlohmann::ordered_json value = nlohmann::ordered_json::object();
    value["z"] = 1;
    value["a"] = nlohmann::ordered_json::array({true, nullptr, -2, "x/y"});
    value["o"] = {{"k", "v"}};
    value["e"] = nlohmann::ordered_json::object();
    EXPECT_EQ(JsonWriter::prettyPrinted(value),
              "{\n"
              "  \"z\" : 1,\n"
              "  \"a\" : [\n"
              "    true,\n"
              "    null,\n"
              "    -2,\n"
              "    \"x\\/y\"\n"
              "  ],\n"
              "  \"o\" : {\n"
              "    \"k\" : \"v\"\n"
              "  },\n"
              "  \"e\" : {}\n"
              "}");
}

TEST(JsonWriter, StringsAreEscapedAndInvalidUtf8IsRepaired) {
    const nlohmann::ordered_json text = std::string("q\" b\\ \b\f\n\r\t \x1f é \xff end");
    const std::string out = JsonWriter::prettyPrinted(text);
    EXPECT_EQ(out, "\"q\\\" b\\\\ \\b\\f\\n\\r\\t \\u001f é \uFFFD end\"");
    EXPECT_TRUE(nlohmann::json::accept(out));
}
