#include "platform/security/Keychain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Paths.h"
#include "support/TempHome.h"

namespace {

using namespace security;

Item password(const std::string& service, const std::string& account, const std::string& data) {
  Item item;
  item.attributes.itemClass = "genp";
  item.attributes.service = service;
  item.attributes.account = account;
  item.data = data;
  return item;
}

Query byService(const std::string& service, bool limitOne = true) {
  Query q;
  q.match.itemClass = "genp";
  q.match.service = service;
  q.limitOne = limitOne;
  return q;
}

Query byAccount(const std::string& service, const std::string& account) {
  Query q = byService(service);
  q.match.account = account;
  return q;
}

std::string fileBytes(const std::string& path) {
  std::string bytes;
  core::paths::readFile(path, bytes);
  return bytes;
}

class KeychainTest : public support::TempHomeTest {
 protected:
  std::string storePath() const { return core::paths::dataDir() + "/keychain.db"; }
};

TEST_F(KeychainTest, AddCopyUpdateRemove) {
  Keychain kc(storePath());
  std::vector<Item> found;
  EXPECT_EQ(kc.copyMatching(byService("room"), &found), ItemNotFound);  // missing file: empty store

  ASSERT_EQ(kc.add(password("room", "alice", "secret-1")), Success);
  ASSERT_EQ(kc.copyMatching(byAccount("room", "alice"), &found), Success);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].data, "secret-1");
  EXPECT_EQ(found[0].attributes.itemClass, "genp");
  EXPECT_EQ(found[0].attributes.account, "alice");
  EXPECT_FALSE(found[0].attributes.label.has_value());

  EXPECT_EQ(kc.copyMatching(byAccount("room", "bob"), &found), ItemNotFound);
  EXPECT_TRUE(found.empty());

  Attributes changes;
  changes.label = "Room login";
  EXPECT_EQ(kc.update(byAccount("room", "alice"), changes, std::string("secret-2")), Success);
  ASSERT_EQ(kc.copyMatching(byAccount("room", "alice"), &found), Success);
  EXPECT_EQ(found[0].data, "secret-2");
  EXPECT_EQ(found[0].attributes.label, "Room login");
  EXPECT_EQ(kc.update(byAccount("room", "bob"), changes, std::nullopt), ItemNotFound);

  // An update without new data keeps the data.
  changes.label = "Renamed";
  EXPECT_EQ(kc.update(byAccount("room", "alice"), changes, std::nullopt), Success);
  ASSERT_EQ(kc.copyMatching(byAccount("room", "alice"), &found), Success);
  EXPECT_EQ(found[0].data, "secret-2");

  EXPECT_EQ(kc.remove(byAccount("room", "alice")), Success);
  EXPECT_EQ(kc.copyMatching(byService("room"), &found), ItemNotFound);
  EXPECT_EQ(kc.remove(byAccount("room", "alice")), ItemNotFound);
}

TEST_F(KeychainTest, DuplicatesAndClasses) {
  Keychain kc(storePath());
  ASSERT_EQ(kc.add(password("room", "alice", "1")), Success);
  EXPECT_EQ(kc.add(password("room", "alice", "2")), DuplicateItem);
  EXPECT_EQ(kc.add(password("room", "Alice", "2")), Success);  // duplicates compare exactly
  Item other = password("room", "alice", "3");
  other.attributes.accessGroup = "group.b";
  EXPECT_EQ(kc.add(other), Success);

  // An absent attribute counts as "".
  Item noAccount = password("room", "", "4");
  noAccount.attributes.account.reset();
  EXPECT_EQ(kc.add(noAccount), Success);
  EXPECT_EQ(kc.add(password("room", "", "5")), DuplicateItem);

  Item noClass = password("x", "y", "z");
  noClass.attributes.itemClass.reset();
  EXPECT_EQ(kc.add(noClass), Param);
  Item internet = password("x", "y", "z");
  internet.attributes.itemClass = "inet";
  EXPECT_EQ(kc.add(internet), Unimplemented);
  Query q = byService("room");
  q.match.itemClass = "inet";
  EXPECT_EQ(kc.copyMatching(q, nullptr), Unimplemented);

  // A query without a class matches the stored items.
  Query anyClass;
  anyClass.match.service = "room";
  anyClass.limitOne = false;
  std::vector<Item> found;
  EXPECT_EQ(kc.copyMatching(anyClass, &found), Success);
  EXPECT_EQ(found.size(), 4u);
}

TEST_F(KeychainTest, CaseInsensitiveMatching) {
  Keychain kc(storePath());
  ASSERT_EQ(kc.add(password("RoomServer", "Alice", "pw")), Success);
  Query q = byAccount("roomserver", "ALICE");
  EXPECT_EQ(kc.copyMatching(q, nullptr), ItemNotFound);
  q.caseInsensitive = true;
  std::vector<Item> found;
  ASSERT_EQ(kc.copyMatching(q, &found), Success);
  EXPECT_EQ(found.at(0).data, "pw");
  EXPECT_EQ(found.at(0).attributes.account, "Alice");  // stored text is unchanged
  EXPECT_EQ(kc.remove(q), Success);
}

TEST_F(KeychainTest, LimitOneAndAllMatches) {
  Keychain kc(storePath());
  for (const char* account : {"a", "b", "c"}) ASSERT_EQ(kc.add(password("svc", account, account)), Success);
  ASSERT_EQ(kc.add(password("elsewhere", "d", "d")), Success);

  std::vector<Item> found;
  ASSERT_EQ(kc.copyMatching(byService("svc"), &found), Success);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].data, "a");  // the first added
  ASSERT_EQ(kc.copyMatching(byService("svc", false), &found), Success);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[1].data, "b");
  EXPECT_EQ(found[2].data, "c");

  // Update with limitOne touches only the first match; without it, every match.
  Attributes changes;
  changes.description = "first";
  ASSERT_EQ(kc.update(byService("svc"), changes, std::nullopt), Success);
  ASSERT_EQ(kc.copyMatching(byService("svc", false), &found), Success);
  EXPECT_EQ(found[0].attributes.description, "first");
  EXPECT_FALSE(found[1].attributes.description.has_value());
  changes.description = "all";
  ASSERT_EQ(kc.update(byService("svc", false), changes, std::string("same")), Success);
  ASSERT_EQ(kc.copyMatching(byService("svc", false), &found), Success);
  for (const Item& item : found) {
    EXPECT_EQ(item.attributes.description, "all");
    EXPECT_EQ(item.data, "same");
  }

  // Remove ignores limitOne.
  ASSERT_EQ(kc.remove(byService("svc", true)), Success);
  EXPECT_EQ(kc.copyMatching(byService("svc"), nullptr), ItemNotFound);
  EXPECT_EQ(kc.copyMatching(byService("elsewhere"), nullptr), Success);
}

TEST_F(KeychainTest, UpdateThatWouldCollideIsRefused) {
  Keychain kc(storePath());
  ASSERT_EQ(kc.add(password("svc", "a", "1")), Success);
  ASSERT_EQ(kc.add(password("svc", "b", "2")), Success);
  Attributes changes;
  changes.account = "a";
  EXPECT_EQ(kc.update(byAccount("svc", "b"), changes, std::nullopt), DuplicateItem);
  std::vector<Item> found;
  ASSERT_EQ(kc.copyMatching(byAccount("svc", "b"), &found), Success);  // unchanged
  EXPECT_EQ(found[0].data, "2");
  changes.itemClass = "inet";
  EXPECT_EQ(kc.update(byAccount("svc", "b"), changes, std::nullopt), Param);
}

TEST_F(KeychainTest, ItemsPersistAcrossInstancesWithBinaryContent) {
  const std::string binary("\0\xFF\xFE data \x80", 11);
  const std::string oddAccount("user\xC3", 5);  // not UTF-8
  {
    Keychain kc(storePath());
    Item item = password("svc", oddAccount, binary);
    item.attributes.generic = std::string("\x01\x00\x02", 3);
    item.attributes.description = "说明";
    ASSERT_EQ(kc.add(item), Success);
  }
  Keychain again(storePath());
  Query q = byAccount("svc", oddAccount);
  q.match.generic = std::string("\x01\x00\x02", 3);
  std::vector<Item> found;
  ASSERT_EQ(again.copyMatching(q, &found), Success);
  EXPECT_EQ(found.at(0).data, binary);
  EXPECT_EQ(found.at(0).attributes.account, oddAccount);
  EXPECT_EQ(found.at(0).attributes.description, "说明");
  q.match.generic = std::string("\x01\x00", 2);
  EXPECT_EQ(again.copyMatching(q, nullptr), ItemNotFound);
}

TEST_F(KeychainTest, StoreFileIsPrivateEvenWithOpenUmask) {
  const mode_t saved = ::umask(0);
  Keychain kc(storePath());
  Status first = kc.add(password("svc", "a", "1"));
  Status second = kc.update(byAccount("svc", "a"), Attributes{}, std::string("2"));
  ::umask(saved);
  ASSERT_EQ(first, Success);
  ASSERT_EQ(second, Success);
  struct stat st {};
  ASSERT_EQ(::stat(storePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((storePath() + ".lock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(KeychainTest, CorruptStoreIsReportedAndLeftUntouched) {
  const std::vector<std::string> corrupt = {
      "{\"format\": \"ktv-keychain\", \"version\": 1, \"items\": [",                  // truncated
      "not json at all",
      "{\"format\": \"ktv-keychain\", \"version\": 2, \"items\": []}",                 // unknown version
      "{\"format\": \"ktv-keychain\", \"version\": 1, \"items\": [{\"class\": \"genp\", \"data\": \"@@@\"}]}",
      "{\"format\": \"ktv-keychain\", \"version\": 1, \"items\": [{\"class\": \"genp\", \"account\": 5, \"data\": \"\"}]}",
  };
  Keychain kc(storePath());
  for (const std::string& bytes : corrupt) {
    ASSERT_TRUE(core::paths::writeFileAtomically(storePath(), bytes, 0600));
    EXPECT_EQ(kc.add(password("svc", "a", "1")), Decode) << bytes;
    EXPECT_EQ(kc.copyMatching(byService("svc"), nullptr), Decode);
    EXPECT_EQ(kc.update(byService("svc"), Attributes{}, std::string("x")), Decode);
    EXPECT_EQ(kc.remove(byService("svc")), Decode);
    EXPECT_EQ(fileBytes(storePath()), bytes);
  }
}

TEST_F(KeychainTest, ConcurrentProcessesKeepEveryItem) {
  constexpr int kChildren = 4;
  constexpr int kEach = 15;
  const std::string path = storePath();
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Keychain kc(path);
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        const std::string account = "p" + std::to_string(c) + "-" + std::to_string(i);
        if (kc.add(password("svc", account, account)) != Success) ++failures;
        if (kc.copyMatching(byAccount("svc", account), nullptr) != Success) ++failures;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<Item> found;
  ASSERT_EQ(Keychain(path).copyMatching(byService("svc", false), &found), Success);
  std::set<std::string> accounts;
  for (const Item& item : found) accounts.insert(*item.attributes.account);
  EXPECT_EQ(accounts.size(), static_cast<size_t>(kChildren * kEach));
  EXPECT_EQ(found.size(), accounts.size());
}

TEST_F(KeychainTest, ConcurrentThreadsKeepEveryItem) {
  Keychain kc(storePath());
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        if (kc.add(password("svc", std::to_string(t * 100 + i), "x")) != Success) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  std::vector<Item> found;
  ASSERT_EQ(kc.copyMatching(byService("svc", false), &found), Success);
  EXPECT_EQ(found.size(), 40u);
}

TEST_F(KeychainTest, SharedStoreLivesInTheDataDirectory) {
  Keychain& kc = Keychain::shared();
  EXPECT_EQ(kc.path(), core::paths::dataDir() + "/keychain.db");
  EXPECT_EQ(&Keychain::shared(), &kc);
  EXPECT_EQ(kc.copyMatching(byService("svc"), nullptr), ItemNotFound);  // fresh home, empty store
  ASSERT_EQ(kc.add(password("svc", "a", "1")), Success);
  EXPECT_EQ(Keychain(storePath()).copyMatching(byService("svc"), nullptr), Success);
}

TEST_F(KeychainTest, StoreFolderIsCreatedOnFirstUse) {
  Keychain kc(homePath() + "/new/folder/keychain.db");
  EXPECT_EQ(kc.add(password("svc", "a", "1")), Success);
  EXPECT_EQ(kc.copyMatching(byService("svc"), nullptr), Success);
}

}  // namespace
