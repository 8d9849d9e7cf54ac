// Item identifiers: the persistent layout as built from records, the identifier-list holder, and
// the order of items by view column.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "namespace/ItemCompare.h"
#include "namespace/ItemId.h"
#include "namespace/ItemIdList.h"

namespace {

ArchiveEntry Record(const char* directory, const char* name, std::uint16_t attributes = 0x20) {
  ArchiveEntry entry;
  std::memset(&entry, 0, sizeof entry);
  std::strcpy(entry.directory, directory);
  std::strcpy(entry.name, name);
  entry.attributes = attributes;
  std::memcpy(entry.method, attributes & 0x10 ? "-lhd-" : "-lh5-", 6);
  return entry;
}

ItemId Item(const char* directory, const char* name, std::uint16_t attributes = 0x20) {
  ItemBuilder builder;
  ArchiveEntry entry = Record(directory, name, attributes);
  builder.Build(&entry);
  return builder.Item();
}

LPCITEMIDLIST AsList(const ItemId& item) { return reinterpret_cast<LPCITEMIDLIST>(&item); }

}  // namespace

TEST(ItemBuilderTest, BuildsPathsAndCopiesTheEntryBlock) {
  ArchiveEntry entry = Record("DIR\\SUB\\", "A.TXT");
  entry.createTime = 0x01020304;
  entry.modifyTime = 0x11223344;
  entry.packedSize = 77;
  entry.originalSize = 99;
  entry.crc = 0xBEEF;
  entry.headerLevel = 2;
  entry.osId = 'M';
  ItemBuilder builder;
  ASSERT_EQ(builder.Build(&entry), 1);
  const ItemId& item = builder.Item();
  EXPECT_EQ(item.size, 310);
  EXPECT_EQ(item.isSynthetic, 0u);
  EXPECT_STREQ(item.path, "DIR\\SUB\\A.TXT");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&item);
  EXPECT_EQ(std::memcmp(bytes + 6, &entry, 44), 0);
  EXPECT_EQ(bytes[0], 0x36);
  EXPECT_EQ(bytes[1], 0x01);
  EXPECT_EQ(bytes[10], 0x44);  // modifyTime, little-endian, at offset 10
  EXPECT_EQ(bytes[40], 0xEF);  // crc at offset 40
  // Bytes after the path's terminator are zero.
  for (std::size_t i = 50 + std::strlen(item.path); i < 310; ++i) ASSERT_EQ(bytes[i], 0) << i;

  EXPECT_STREQ(Item("DIR\\SUB\\", "", 0x10).path, "DIR\\SUB");
  EXPECT_STREQ(Item("", "README").path, "README");
  EXPECT_EQ(builder.Build(nullptr), 0);
  EXPECT_STREQ(builder.Item().path, "DIR\\SUB\\A.TXT");
}

TEST(ItemBuilderTest, CutsAPathLongerThanTheFieldOnACharacterBoundary) {
  std::string directory(200, 'D');
  directory += "\\";
  // 57 single bytes put the name's double-byte characters across byte 259.
  std::string name(57, 'n');
  for (int i = 0; i < 30; ++i) name += "\x95\x5C";
  ArchiveEntry entry = Record(directory.c_str(), name.c_str());
  ItemBuilder builder;
  ASSERT_EQ(builder.Build(&entry), 1);
  std::size_t length = std::strlen(builder.Item().path);
  EXPECT_LE(length, 259u);
  EXPECT_GE(length, 258u);
  // Never a lone lead byte at the end.
  std::size_t i = 0;
  while (i < length) i += IsDBCSLeadByte(static_cast<BYTE>(builder.Item().path[i])) ? 2 : 1;
  EXPECT_EQ(i, length);
  EXPECT_EQ(std::memcmp(builder.Item().path, (directory + name).data(), length), 0);

  // Unterminated record fields (read from a hostile header) stop at their field size.
  std::memset(entry.directory, 'x', sizeof entry.directory);
  std::memset(entry.name, 'y', sizeof entry.name);
  ASSERT_EQ(builder.Build(&entry), 1);
  EXPECT_EQ(std::strlen(builder.Item().path), 259u);
}

TEST(ItemIdTest, OnlyWellFormedItemsAreRead) {
  ItemId item = Item("", "A.TXT");
  EXPECT_EQ(AsItemId(AsList(item)), &item);
  ItemId bad = item;
  bad.size = 300;
  EXPECT_EQ(AsItemId(AsList(bad)), nullptr);
  std::memset(bad.path, 'z', sizeof bad.path);
  bad.size = 310;
  EXPECT_EQ(AsItemId(AsList(bad)), nullptr);
  EXPECT_EQ(AsItemId(nullptr), nullptr);
}

TEST(ItemIdListTest, SizesCountsAppendsAndDetaches) {
  ItemId a = Item("", "A"), b = Item("", "B"), c = Item("", "C");
  ItemIdList list;
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.LastItem(), nullptr);
  EXPECT_EQ(list.ItemAt(0), nullptr);
  ASSERT_TRUE(list.AssignItem(AsList(a)));
  ASSERT_EQ(list.AppendItem(AsList(b)), 1);
  EXPECT_EQ(list.Size(), 622u);
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.ItemAt(2), nullptr);
  EXPECT_STREQ(AsItemId(list.ItemAt(1))->path, "B");
  EXPECT_STREQ(AsItemId(list.LastItem())->path, "B");

  ItemIdList one;
  ASSERT_TRUE(one.AssignItem(AsList(c)));
  ASSERT_EQ(list.Append(one.Get()), 1);
  EXPECT_EQ(list.Size(), 932u);
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_STREQ(AsItemId(list.ItemAt(2))->path, "C");

  std::vector<std::uint8_t> copy(list.Size());
  EXPECT_EQ(list.CopyTo(copy.data()), 932u);
  EXPECT_EQ(copy[930], 0);
  EXPECT_EQ(copy[931], 0);

  // A wrapped list is not owned; appending to it makes a copy and leaves the original alone.
  ItemIdList wrapped(one.Get());
  EXPECT_FALSE(wrapped.Owned());
  ASSERT_EQ(wrapped.AppendItem(AsList(a)), 1);
  EXPECT_TRUE(wrapped.Owned());
  EXPECT_EQ(wrapped.Count(), 2u);
  EXPECT_EQ(one.Count(), 1u);

  LPITEMIDLIST taken = list.Detach();
  EXPECT_EQ(list.Get(), nullptr);
  EXPECT_EQ(ItemIdList::SizeOf(taken), 932u);
  ItemIdList::FreeList(taken);

  // An empty list's last item is its terminator.
  std::uint16_t empty = 0;
  ItemIdList none(reinterpret_cast<LPCITEMIDLIST>(&empty));
  EXPECT_EQ(none.Count(), 0u);
  EXPECT_EQ(static_cast<void*>(none.LastItem()), static_cast<void*>(&empty));
}

TEST(ItemCompareTest, NameColumnPutsFoldersFirstOnlyThere) {
  ItemId folder = Item("A\\", "", 0x10);
  ItemId lower = Item("", "a.txt"), upper = Item("", "b.txt");
  EXPECT_EQ(CompareItems(ColumnName, folder, lower), -1);
  EXPECT_EQ(CompareItems(ColumnName, lower, folder), 1);
  EXPECT_EQ(CompareItems(ColumnName, lower, upper), -1);
  EXPECT_EQ(CompareItems(ColumnName, upper, upper), 0);
  // In every other column a folder sorts by the column's key alone.
  folder.originalSize = 0;
  lower.originalSize = 0;
  EXPECT_EQ(CompareItems(ColumnSize, folder, lower), 0);
  folder.modifyTime = 20;
  lower.modifyTime = 10;
  EXPECT_EQ(CompareItems(ColumnDate, folder, lower), 1);
}

TEST(ItemCompareTest, NumericColumnsCompareAsUnsignedNumbers) {
  ItemId a = Item("", "a"), b = Item("", "b");
  a.originalSize = 0x80000000u;
  b.originalSize = 5;
  EXPECT_EQ(CompareItems(ColumnSize, a, b), 1);
  a.modifyTime = 0xF0000000u;
  b.modifyTime = 1;
  EXPECT_EQ(CompareItems(ColumnDate, a, b), 1);
  EXPECT_EQ(CompareItems(ColumnDate, b, a), -1);
  a.crc = 0x8000;
  b.crc = 0x7FFF;
  EXPECT_EQ(CompareItems(ColumnCrc, a, b), 1);
  EXPECT_EQ(CompareItems(7, a, b), 0);
  EXPECT_EQ(CompareItems(-1, a, b), 0);
}

TEST(ItemCompareTest, RatioIsPerMilleWithoutOverflow) {
  ItemId big = Item("", "big"), empty = Item("", "empty"), half = Item("", "half");
  big.originalSize = 3000000000u;
  big.packedSize = 2000000000;
  EXPECT_EQ(ItemRatioPerMille(big), 666u);
  empty.originalSize = 0;
  empty.packedSize = 50;
  EXPECT_EQ(ItemRatioPerMille(empty), 0u);
  half.originalSize = 1000;
  half.packedSize = 500;
  EXPECT_EQ(CompareItems(ColumnRatio, big, half), 1);
  EXPECT_EQ(CompareItems(ColumnRatio, empty, half), -1);
  ItemId folder = Item("F\\", "", 0x10);
  folder.originalSize = 10;
  folder.packedSize = 10;
  EXPECT_EQ(ItemRatioPerMille(folder), 0u);
}

TEST(ItemCompareTest, MethodAndTypeColumnsCompareTexts) {
  ItemId a = Item("", "a.txt"), b = Item("", "b.txt");
  std::memcpy(a.method, "-lh7-", 6);
  std::memcpy(b.method, "-lh0-", 6);
  EXPECT_EQ(CompareItems(ColumnMethod, a, b), 1);
  // A method field without its terminator is read as its six bytes.
  std::memcpy(a.method, "-lh0-x", 6);
  EXPECT_EQ(CompareItems(ColumnMethod, a, b), 1);
  // Same extension, same type name: equal, with no tie-break by name.
  EXPECT_EQ(CompareItems(ColumnType, a, b), 0);
  // The shell names the types "Text Document" and ".zzq file" in the test prefix: they
  // compare as texts, so the unknown type comes first.
  ItemId c = Item("", "c.zzq");
  EXPECT_EQ(CompareItems(ColumnType, a, c), 1);
  EXPECT_EQ(CompareItems(ColumnType, c, a), -1);
}
