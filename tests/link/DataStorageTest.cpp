#include "link/DataStorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "support/TempHome.h"

namespace kt {
namespace {

class DataStorageTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_previousSink = core::setLogSink([this](const std::string& line) { m_log.push_back(line); });
  }
  void TearDown() override { core::setLogSink(m_previousSink); }

  bool logged(const std::string& text) const {
    for (const std::string& line : m_log)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  std::vector<std::string> m_log;
  core::LogSink m_previousSink;
};

TEST_F(DataStorageTest, CreateCheckModifyDelete) {
  ASSERT_TRUE(DataStorage::createAStorageDocumentWithName("orders", "count", core::Value(3)));
  EXPECT_TRUE(logged("createAStorageDocumentWithName [Line "));
  EXPECT_TRUE(logged("]创建了一个plist,并写入成功"));
  EXPECT_TRUE(std::filesystem::exists(core::paths::documentsDir() + "/orders"));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("orders", "count"), core::Value(3));
  EXPECT_FALSE(DataStorage::checkAStorageDocumentWithName("orders", "other"));

  // Modify keeps the other keys and round-trips every property-list kind.
  core::Value::Dictionary nested{{"k", core::Value("v")}};
  ASSERT_TRUE(DataStorage::modifyAStorageDocumentWithName("orders", "name", core::Value("宫保鸡丁")));
  ASSERT_TRUE(DataStorage::modifyAStorageDocumentWithName("orders", "blob", core::Value::data(std::string("\0\1\2", 3))));
  ASSERT_TRUE(DataStorage::modifyAStorageDocumentWithName("orders", "list", core::Value(core::Value::Array{core::Value(1.5), core::Value(true)})));
  ASSERT_TRUE(DataStorage::modifyAStorageDocumentWithName("orders", "map", core::Value(nested)));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("orders", "count"), core::Value(3));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("orders", "name"), core::Value("宫保鸡丁"));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("orders", "blob"), core::Value::data(std::string("\0\1\2", 3)));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("orders", "map"), core::Value(nested));

  // Create replaces the whole document.
  ASSERT_TRUE(DataStorage::createAStorageDocumentWithName("orders", "fresh", core::Value("x")));
  EXPECT_FALSE(DataStorage::checkAStorageDocumentWithName("orders", "count"));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("orders", "fresh"), core::Value("x"));

  EXPECT_TRUE(DataStorage::deleteAStorageDocumentWithName("orders"));
  EXPECT_TRUE(logged("删除了orders名称的文件"));
  EXPECT_FALSE(DataStorage::checkAStorageDocumentWithName("orders", "fresh"));
  EXPECT_FALSE(DataStorage::deleteAStorageDocumentWithName("orders"));
  EXPECT_TRUE(logged("deleteAStorageDocumentWithName [Line "));
  EXPECT_TRUE(logged("]😢没有删除plist"));
}

TEST_F(DataStorageTest, MissingValuesAndDocuments) {
  EXPECT_FALSE(DataStorage::createAStorageDocumentWithName("a", "k", core::Value()));
  EXPECT_TRUE(logged("传过来的值为空，不予理睬"));
  EXPECT_FALSE(std::filesystem::exists(core::paths::documentsDir() + "/a"));

  // Modify never creates a document, nor writes over one that is not a dictionary.
  EXPECT_FALSE(DataStorage::modifyAStorageDocumentWithName("none", "k", core::Value(1)));
  EXPECT_FALSE(std::filesystem::exists(core::paths::documentsDir() + "/none"));
  {
    std::ofstream junk(core::paths::documentsDir() + "/junk");
    junk << "not a property list";
  }
  EXPECT_FALSE(DataStorage::modifyAStorageDocumentWithName("junk", "k", core::Value(1)));
  EXPECT_FALSE(DataStorage::checkAStorageDocumentWithName("junk", "k"));

  ASSERT_TRUE(DataStorage::createAStorageDocumentWithName("b", "k", core::Value(1)));
  EXPECT_FALSE(DataStorage::modifyAStorageDocumentWithName("b", "k", core::Value()));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("b", "k"), core::Value(1));

  // A value with no property-list form fails to write and leaves the old document.
  core::Value withNull(core::Value::Array{core::Value()});
  EXPECT_FALSE(DataStorage::createAStorageDocumentWithName("b", "k", withNull));
  EXPECT_TRUE(logged("]😢😢😢😢😢，没有存入plist"));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("b", "k"), core::Value(1));
}

TEST_F(DataStorageTest, NamesMustBePlainFileNames) {
  const std::string documents = core::paths::documentsDir();
  for (const std::string& name : std::vector<std::string>{"../escape", "a/b", ".", "..", "", std::string("x\0y", 3), "/tmp/abs"}) {
    m_log.clear();
    EXPECT_FALSE(DataStorage::createAStorageDocumentWithName(name, "k", core::Value(1))) << name;
    EXPECT_TRUE(logged("not a plain file name")) << name;
    EXPECT_FALSE(DataStorage::modifyAStorageDocumentWithName(name, "k", core::Value(1))) << name;
    EXPECT_FALSE(DataStorage::checkAStorageDocumentWithName(name, "k")) << name;
    EXPECT_FALSE(DataStorage::deleteAStorageDocumentWithName(name)) << name;
  }
  EXPECT_TRUE(std::filesystem::is_directory(documents));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(documents).parent_path() / "escape"));
  // Odd but plain names are fine.
  EXPECT_TRUE(DataStorage::createAStorageDocumentWithName("..hidden", "k", core::Value(1)));
  EXPECT_TRUE(DataStorage::createAStorageDocumentWithName("名单.plist", "k", core::Value(2)));
  EXPECT_EQ(DataStorage::checkAStorageDocumentWithName("名单.plist", "k"), core::Value(2));
}

}  // namespace
}  // namespace kt
