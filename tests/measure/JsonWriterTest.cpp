// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON writer every document of the program goes through.
#include <gtest/gtest.h>

#include "measure/JsonWriter.h"

TEST(JsonWriter, NestedDocumentWithEscapes)
{
    CJsonWriter json;
    json.BeginObject();
    json.Member("name", "Card \"A\"\t\\ 1");
    json.Member("code", 65535);
    json.Member("ok", false);
    json.Key("none");
    json.Null();
    json.Key("list");
    json.BeginArray();
    json.Number(-1);
    json.BeginObject();
    json.EndObject();
    json.EndArray();
    json.Key("empty");
    json.BeginArray();
    json.EndArray();
    json.EndObject();
    EXPECT_EQ(json.Text(), "{\n"
                           "  \"name\": \"Card \\\"A\\\"\\t\\\\ 1\",\n"
                           "  \"code\": 65535,\n"
                           "  \"ok\": false,\n"
                           "  \"none\": null,\n"
                           "  \"list\": [\n"
                           "    -1,\n"
                           "    {}\n"
                           "  ],\n"
                           "  \"empty\": []\n"
                           "}\n");
}

TEST(JsonWriter, ReportLineEndsAndForeignBytesStayValid)
{
    EXPECT_EQ(JsonQuote("Channels:\t1\r\n"), "\"Channels:\\t1\\r\\n\"");
    EXPECT_EQ(JsonQuote(std::string("a\x01\x7f", 3)), "\"a\\u0001\\u007f\"");
    // UTF-8 passes; a lone Latin-1 byte, a truncated sequence, an overlong
    // form and a surrogate become U+FFFD.
    EXPECT_EQ(JsonQuote("Carte son \xc3\xa9"), "\"Carte son \xc3\xa9\"");
    EXPECT_EQ(JsonQuote("Carte son \xe9"), "\"Carte son \\ufffd\"");
    EXPECT_EQ(JsonQuote("\xe2\x82"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(JsonQuote("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(JsonQuote("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
    EXPECT_EQ(JsonQuote("\xf0\x9f\x8e\xb5"), "\"\xf0\x9f\x8e\xb5\"");
}
