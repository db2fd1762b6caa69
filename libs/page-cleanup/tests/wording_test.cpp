#include "page-cleanup/wording.h"

#include <gtest/gtest.h>

#include "i18n/lang.h"

namespace {

using namespace vx::page_cleanup;
using vx::winapp2::AnalysisTotals;
using vx::winapp2::CleanCounts;
using vx::winapp2::Progress;

TEST(Wording, ProgressAndTotalsInThePagesLanguage) {
  EXPECT_EQ(analysis_progress(Progress{1, 2}, "ko"), "분석 중… 1/2");
  EXPECT_EQ(analysis_progress(Progress{12, 340}, "en"), "Analyzing… 12/340");
  EXPECT_EQ(analysis_done(AnalysisTotals{3, 1, 2560}, "ko"), "파일 3개 · 레지스트리 1개 · 2.5 KB");
  EXPECT_EQ(analysis_done(AnalysisTotals{0, 0, 0}, "en"), "0 files · 0 registry items · 0 B");
  EXPECT_EQ(cleaning_progress(Progress{1, 1}, "en"), "Cleaning… 1/1");
  EXPECT_EQ(cleaning_done(CleanCounts{2, 1, 1536}, "ko"), "1.5 KB 정리 (파일 2개, 레지스트리 1개)");
  EXPECT_EQ(cleaning_done(CleanCounts{2, 1, 1536}, "en"), "1.5 KB cleaned (2 files, 1 registry items)");
}

TEST(Wording, EveryLanguageFillsEveryPlaceholder) {
  for (const std::string_view language : vx::i18n::languages) {
    for (const std::string& text : {analysis_progress({7, 9}, language), cleaning_progress({7, 9}, language)}) {
      EXPECT_EQ(text.find('{'), std::string::npos) << language << ": " << text;
      EXPECT_NE(text.find('7'), std::string::npos) << language << ": " << text;
      EXPECT_NE(text.find('9'), std::string::npos) << language << ": " << text;
    }
    for (const std::string& text :
         {analysis_done({11, 13, 1048576}, language), cleaning_done({11, 13, 1048576}, language)}) {
      EXPECT_EQ(text.find('{'), std::string::npos) << language << ": " << text;
      for (const char* part : {"11", "13", "1.0 MB"})
        EXPECT_NE(text.find(part), std::string::npos) << language << ": " << text;
    }
  }
}

}  // namespace
