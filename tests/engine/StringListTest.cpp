#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/NoCase.h"
#include "archive/StringList.h"

TEST(StringList, KeepsOrderAndFindsTheFirstMatch) {
  StringList list;
  int records[3];
  ASSERT_TRUE(list.Append("abc", 1, &records[0]));
  ASSERT_TRUE(list.Append("ABC", 2, &records[1]));
  ASSERT_TRUE(list.Append("abc", 3, &records[2]));
  ASSERT_TRUE(list.Append(nullptr, 4, nullptr));
  EXPECT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.FindExact("abc"), 0);
  EXPECT_EQ(list.FindExact("ABC"), 1);
  EXPECT_EQ(list.FindNoCase("ABC"), 0);
  EXPECT_EQ(list.FindExact("Abc"), -1);
  EXPECT_EQ(list.FindNoCase("Abc"), 0);
  EXPECT_EQ(list.FindExact(""), 3);
  EXPECT_EQ(list.FindNoCase("abd"), -1);
  const char* key = nullptr;
  std::uintptr_t data = 0;
  void* record = nullptr;
  ASSERT_TRUE(list.Get(1, &key, &data, &record));
  EXPECT_STREQ(key, "ABC");
  EXPECT_EQ(data, 2u);
  EXPECT_EQ(record, &records[1]);
  EXPECT_FALSE(list.Get(4, &key, nullptr, nullptr));
}

TEST(StringList, ReplaceMovesTheKeyAndRefusesIndexesPastTheEnd) {
  StringList list;
  list.Append("one", 1, nullptr);
  list.Append("two", 2, nullptr);
  EXPECT_FALSE(list.Replace(2, "three", 3, nullptr));
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.FindExact("three"), -1);
  ASSERT_TRUE(list.Replace(0, "two", 5, nullptr));  // now two nodes named "two"
  EXPECT_EQ(list.FindExact("one"), -1);
  EXPECT_EQ(list.FindExact("two"), 0);
  ASSERT_TRUE(list.Replace(0, nullptr, 0, nullptr));
  EXPECT_EQ(list.FindExact("two"), 1);
  EXPECT_EQ(list.FindNoCase("TWO"), 1);
  EXPECT_EQ(list.FindExact(""), 0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.FindExact(""), -1);
}

// Random appends and replacements over a small pool of keys that differ in case (and in the
// second byte of a double-byte character) agree with a plain linear search after every step,
// with indexes kept up to date or built by the first lookup (then kept up to date as well).
TEST(StringList, IndexAgreesWithALinearSearch) {
  const std::vector<std::string> pool = {"a", "A", "doc\\b.txt", "DOC\\B.TXT", "Doc\\b.Txt",
                                         "\x82\x41", "\x82\x61", "", "x\x95\x5Cy", "X\x95\x5CY"};
  for (bool deferred : {false, true}) {
    std::mt19937 random(20261208);
    StringList list;
    if (deferred) list.DeferIndexes();
    std::vector<std::string> model;
    for (int step = 0; step < 3000; ++step) {
      const std::string& key = pool[random() % pool.size()];
      if (model.empty() || random() % 3 == 0) {
        ASSERT_TRUE(list.Append(key.c_str(), 0, nullptr));
        model.push_back(key);
      } else {
        std::uint32_t at = random() % model.size();
        ASSERT_TRUE(list.Replace(at, key.c_str(), 0, nullptr));
        model[at] = key;
      }
      if (step % 97 != 0) continue;
      // Only now and then: a deferred list builds an index at its first lookup, mid-way.
      if (deferred && step < 1000) continue;
      for (const std::string& probe : pool) {
        std::int32_t exact = -1, noCase = -1;
        for (std::size_t i = 0; i < model.size(); ++i) {
          if (exact < 0 && model[i] == probe) exact = static_cast<std::int32_t>(i);
          if (noCase < 0 && CompareNoCase(model[i].c_str(), probe.c_str()) == 0)
            noCase = static_cast<std::int32_t>(i);
        }
        ASSERT_EQ(list.FindExact(probe.c_str()), exact) << step << " deferred " << deferred;
        ASSERT_EQ(list.FindNoCase(probe.c_str()), noCase) << step << " deferred " << deferred;
      }
    }
    list.Clear();
    ASSERT_TRUE(list.Append("A", 0, nullptr));
    EXPECT_EQ(list.FindNoCase("a"), 0);
  }
}

// A catalogue is searched from several threads at once; the first lookups build its index.
TEST(StringList, ADeferredIndexIsBuiltOnceForConcurrentLookups) {
  StringList list;
  list.DeferIndexes();
  const int count = 20000;
  char key[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(key, sizeof key, "Dir%02d\\File%05d", i % 50, i);
    ASSERT_TRUE(list.Append(key, 0, nullptr));
  }
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      char probe[32];
      for (int i = t; i < count; i += 4) {
        std::snprintf(probe, sizeof probe, "DIR%02d\\FILE%05d", i % 50, i);
        if (list.FindNoCase(probe) != i || list.FindExact(probe) != -1) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(StringList, ManyKeysStayFindable) {
  StringList list;
  const int count = 100000;
  char key[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(key, sizeof key, "DIR%03d\\FILE%06d.TXT", i % 100, i);
    ASSERT_TRUE(list.Append(key, static_cast<std::uintptr_t>(i), nullptr));
  }
  for (int i = 0; i < count; i += 7) {
    std::snprintf(key, sizeof key, "dir%03d\\file%06d.txt", i % 100, i);
    ASSERT_EQ(list.FindNoCase(key), i);
    ASSERT_EQ(list.FindExact(key), -1);
  }
}
