#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <json/reader.h>
#include <json/value.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "GbkText.h"
#include "ZenuService.h"

namespace zenu::test {

// A real service on a free loopback port with its store in a fresh temporary folder and a
// small demo catalogue.
class ServiceFixture : public ::testing::Test {
 protected:
  static constexpr const char* kMarker = "5B1E09C4-73AF-4d2e-9C81-E2F04A6B1D37 OK";
  static constexpr const char* kDigest = "0123456789abcdef0123456789abcdef";

  virtual void Configure(ServiceConfig&) {}

  void SetUp() override {
    char pattern[] = "/tmp/zenu-service-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ServiceConfig config;
    config.port = 0;
    config.dataDir = dir_ + "/data";
    config.threads = 4;
    config.catalogue.movies = 24;
    config.catalogue.minBytes = 40 * 1024;
    config.catalogue.maxBytes = 90 * 1024;
    config.catalogue.demoRaters = 0;
    Configure(config);
    service_ = std::make_unique<ZenuService>(config);
    port_ = service_->Start();
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    // Paths are sent exactly as the client's own encoder wrote them.
    client_->set_url_encode(false);
  }

  void TearDown() override {
    client_.reset();
    service_.reset();
    std::filesystem::remove_all(dir_);
  }

  httplib::Result Get(const std::string& path) { return client_->Get(path.c_str()); }
  httplib::Result Post(const std::string& path, const httplib::Params& params) {
    return client_->Post(path.c_str(), params);
  }

  std::string Body(const std::string& path) {
    auto res = Get(path);
    EXPECT_TRUE(res) << path;
    if (!res) return "";
    EXPECT_EQ(res->status, 200) << path << ": " << res->body;
    return res->body;
  }

  static Json::Value ParseJson(const std::string& text) {
    Json::Value v;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errors)) << text;
    return v;
  }

  Json::Value JsonGet(const std::string& path, int status = 200) {
    auto res = Get(path);
    EXPECT_TRUE(res) << path;
    if (!res) return {};
    EXPECT_EQ(res->status, status) << path << ": " << res->body;
    return ParseJson(res->body);
  }

  Json::Value JsonPost(const std::string& path, const httplib::Params& params, int status = 200) {
    auto res = Post(path, params);
    EXPECT_TRUE(res) << path;
    if (!res) return {};
    EXPECT_EQ(res->status, status) << path << ": " << res->body;
    return ParseJson(res->body);
  }

  // `gbkName` is the client's internal text; the query holds its URL encoding.
  std::string Register(const std::string& gbkName, const std::string& digest = kDigest) {
    return Body("/urls/UserRegister?username=" + GbkText::PercentEncode(gbkName) +
                "&md5_passwd=" + digest + "&action=add&iVersion=172");
  }

  std::string Login(const std::string& gbkName, const std::string& digest = kDigest) {
    return Body("/urls/UserLogin?username=" + GbkText::PercentEncode(gbkName) +
                "&md5_passwd=" + digest + "&version=172");
  }

  std::string Rate(const std::string& gbkName, uint32_t movie, int score, int recommendAll = 0,
                   const std::string& utf8Comment = "") {
    std::string url = "/urls/UserReportStatus?username=" +
                      GbkText::PercentEncode(GbkText::PercentEncode(gbkName)) +
                      "&eval=" + std::to_string(movie) + "," + std::to_string(score) +
                      "&iIsRmdAllFriend=" + std::to_string(recommendAll);
    if (!utf8Comment.empty()) url += "&utf8Comment=" + GbkText::PercentEncode(utf8Comment);
    return Body(url);
  }

  Json::Value Task(const std::string& user, const std::string& form) {
    return JsonGet("/api/v1/task?username=" + GbkText::PercentEncode(user) + "&form=" + form);
  }

  const Catalogue& Movies() { return *service_->Context().catalogue.Get(); }
  Store& GetStore() { return *service_->Context().store; }

  std::string dir_;
  std::unique_ptr<ZenuService> service_;
  std::unique_ptr<httplib::Client> client_;
  int port_ = 0;
};

}  // namespace zenu::test
