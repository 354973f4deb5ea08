// json_text_test.cpp -- the model's JSON text: commas where they belong, numbers that
// read back to the same double whatever the locale, and strings that stay valid JSON
// and UTF-8 whatever bytes a field file gives (quotes, controls, Latin-1).
#include <gtest/gtest.h>

#include "json_text.h"

#include <clocale>
#include <string>

TEST(JsonText, WritesValidJsonOfAnyLabelAndNumber)
{
    const char *before = std::setlocale(LC_ALL, "de_DE.UTF-8");   // a decimal comma, where installed
    const float pair[2] = {-95.3632f, 1e-5f};
    JsonText json;
    json.open('{').key("label").string("Haushalte \"alle\"\\\x01 caf\xC3\xA9 caf\xE9 \xE2\x82\xAC \xC3");
    json.key("n").number(0.1).key("i").integer(-3).key("list").numbers(pair, 2).key("empty").open('[').close(']');
    json.key("b").boolean(true).close('}');
    std::setlocale(LC_ALL, "C");
    // UTF-8 passes as it is (é, €); a lone byte is taken as Latin-1 (é); a cut sequence too
    EXPECT_EQ(json.text(), "{\"label\":\"Haushalte \\\"alle\\\"\\\\\\u0001 caf\xC3\xA9 caf\\u00e9 \xE2\x82\xAC \\u00c3\","
                           "\"n\":0.1,\"i\":-3,\"list\":[-95.36319732666016,9.999999747378752e-06],\"empty\":[],"
                           "\"b\":true}")
        << (before ? "under de_DE" : "de_DE not installed");
}
