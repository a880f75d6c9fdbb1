#pragma once

// Runs the stand-in cloud song service on loopback, maps the five cloud hosts to it, and sends
// requests through WGHTTPRequest, waiting on the main run loop for the finish block.

#include "platform/core/Error.h"
#include "platform/core/Queue.h"
#include "platform/core/Value.h"
#include "platform/net/HostMap.h"
#include "songs/CloudApi.h"
#include "songs/WGHTTPRequest.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"
#include "venue/CloudService.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace songs_test {

struct Outcome {
  int calls = 0;
  bool onMain = false;
  std::optional<std::string> raw;
  std::optional<core::Value> decoded;
  std::optional<core::Error> error;
};

// A finish block that records what it was given into a shared outcome.
inline kt::WGHTTPRequest::Finish recordInto(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](const std::optional<std::string>& raw, const std::optional<core::Value>& decoded,
                   const std::optional<core::Error>& error) {
    ++outcome->calls;
    outcome->onMain = core::Queue::isCurrent(*core::Queue::main());
    outcome->raw = raw;
    outcome->decoded = decoded;
    outcome->error = error;
  };
}

class CloudFixture : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_service.start());
    for (const std::string& host : venue::CloudService::hosts()) {
      net::HostMap::set(host, 80, "127.0.0.1", m_service.port());
    }
  }
  void TearDown() override {
    net::HostMap::clear();
    m_service.stop();
  }

  // Sends the request and waits for its finish block (which must come exactly once).
  std::shared_ptr<Outcome> send(const kt::CloudRequest& request, double timeout = 15.0) {
    return send(request.path, request.params, request.base, timeout);
  }
  std::shared_ptr<Outcome> send(const std::string& path, const core::Value& params, const std::string& base,
                                double timeout = 15.0) {
    auto outcome = std::make_shared<Outcome>();
    kt::WGHTTPRequest::get(path, params, base, recordInto(outcome));
    EXPECT_TRUE(support::runUntil([&] { return outcome->calls > 0; }, timeout));
    return outcome;
  }
  // The request line the service received last, as sent.
  std::string lastLine() const { return m_service.lastRequest().line(); }

  venue::CloudService m_service;
};

}  // namespace songs_test
