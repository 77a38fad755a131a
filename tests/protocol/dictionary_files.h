// A scratch folder of dictionary files for one test, with the DictionarySet that reads it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "protocol/dictionary.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

class DictionaryFiles {
public:
    // name may lie in a subfolder, which is made.
    void Write(const std::string& name, const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(folder_.Path(name)).parent_path());
        folder_.Write(name, text);
    }
    const Dictionary* Load(const std::string& name, const std::string& text) {
        Write(name, text);
        return set_.Load(name);
    }
    DictionarySet& Set() { return set_; }
    // The folder's path with its closing slash.
    std::string Folder() const { return folder_.Path(""); }

private:
    TempFolder folder_;  // outlives the set, which is destroyed first
    DictionarySet set_{folder_.Path("").c_str()};
};

// Loads text as t.dic from a fresh folder: with message nullptr it must load without a word at
// level 0, else be refused with message as the last level-0 line.
inline void ExpectLoadOutcome(const std::string& text, const char* message) {
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary = files.Load("t.dic", text);
    if (message == nullptr) {
        EXPECT_NE(dictionary, nullptr) << text;
        EXPECT_EQ(log.LinesAt(0), std::vector<std::string>{}) << text;
    } else {
        EXPECT_EQ(dictionary, nullptr) << text;
        ASSERT_FALSE(log.LinesAt(0).empty()) << text;
        EXPECT_EQ(log.LinesAt(0).back(), message) << text;
        EXPECT_EQ(files.Set().Find("t.dic"), nullptr) << text;
    }
}
