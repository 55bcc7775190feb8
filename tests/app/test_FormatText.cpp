// printf-style texts: a long argument (a port name, a file path, a translated sentence) is never cut.
#include <gtest/gtest.h>

#include <string>

#include "app/FormatText.h"

TEST(FormatTextTest, LongTextsAreKeptWhole) {
    const std::string path(2000, 'x');
    const std::string text = format_text("Failed to open database \"%s\": %u", path.c_str(), 7u);
    EXPECT_EQ(text.size(), path.size() + 29);
    EXPECT_EQ(text.substr(text.size() - 4), "\": 7");
}
