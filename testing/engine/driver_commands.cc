// The engine's side of the driver's lines: messages for the host, replies to
// the host's messages and desktop queries. All run on the engine's thread.
#include <chrono>
#include <cstdio>
#include <thread>

#include "testing/engine/desktop_queries.h"
#include "testing/engine/driver_line.h"
#include "testing/engine/hex_text.h"
#include "testing/engine/payload_summary.h"
#include "testing/engine/substitute_engine.h"

namespace {

using substitute_engine::HexField;

constexpr size_t kMessageFieldCount = 4;
constexpr size_t kReplyFieldCount = 3;
constexpr size_t kQueryHeadFieldCount = 3;

void ReportBadLine(const std::string& line) {
  std::fprintf(stderr, "substitute engine: unusable driver line: %s\n", line.c_str());
  std::fflush(stderr);
}

const uint8_t* DataOrNull(const std::vector<uint8_t>& bytes) {
  return bytes.empty() ? nullptr : bytes.data();
}

}  // namespace

void FlutterDesktopEngine::HandleDriverLine(const std::string& line) {
  const std::vector<std::string> fields = substitute_engine::SplitFields(line);
  if (fields.empty()) {
    return;
  }
  if (fields[0] == "message" && fields.size() == kMessageFieldCount) {
    DeliverMessage(fields);
  } else if (fields[0] == "reply" && fields.size() == kReplyFieldCount) {
    DeliverReply(fields);
  } else if (fields[0] == "query" && fields.size() >= kQueryHeadFieldCount) {
    AnswerQuery(fields);
  } else {
    ReportBadLine(line);
  }
}

void FlutterDesktopEngine::DeliverMessage(const std::vector<std::string>& fields) {
  const std::string& channel = fields[1];
  const auto tag = substitute_engine::ParseUnsigned(fields[2]);
  const auto bytes = substitute_engine::BytesFromHexField(fields[3]);
  if (!tag || !bytes) {
    ReportBadLine(fields[0] + " " + channel + " " + fields[2]);
    return;
  }
  NoteTraffic("Flutter -> " + channel + " #" + fields[2] + ": " +
              substitute_engine::SummarizeMessage(DataOrNull(*bytes), bytes->size()));
  auto callback = callbacks_.find(channel);
  if (callback == callbacks_.end()) {
    SendToDriver("response " + fields[2] + " -");
    NoteTraffic("no handler on " + channel + ", answered empty");
    return;
  }
  auto handle = std::make_unique<FlutterDesktopMessageResponseHandle>();
  handle->tag = *tag;
  const FlutterDesktopMessageResponseHandle* response_handle = handle.get();
  {
    std::lock_guard lock(state_mutex_);
    open_responses_.emplace(response_handle, std::move(handle));
  }
  const FlutterDesktopMessage message{sizeof(FlutterDesktopMessage), channel.c_str(),
                                      DataOrNull(*bytes), bytes->size(), response_handle};
  // Copied: the callback may replace or remove itself.
  const auto [function, user_data] = callback->second;
  function(messenger_, &message, user_data);
}

void FlutterDesktopEngine::DeliverReply(const std::vector<std::string>& fields) {
  const auto tag = substitute_engine::ParseUnsigned(fields[1]);
  const auto bytes = substitute_engine::BytesFromHexField(fields[2]);
  if (!tag || !bytes) {
    ReportBadLine(fields[0] + " " + fields[1]);
    return;
  }
  std::pair<FlutterDesktopBinaryReply, void*> awaited{nullptr, nullptr};
  {
    std::lock_guard lock(state_mutex_);
    auto found = awaited_replies_.find(*tag);
    if (found != awaited_replies_.end()) {
      awaited = found->second;
      awaited_replies_.erase(found);
    }
  }
  if (awaited.first == nullptr) {
    ReportBadLine("reply " + fields[1] + " answers nothing awaited");
    return;
  }
  NoteTraffic("Flutter replied #" + fields[1] + ": " +
              substitute_engine::SummarizeAnswer(DataOrNull(*bytes), bytes->size()));
  awaited.first(DataOrNull(*bytes), bytes->size(), awaited.second);
}

void FlutterDesktopEngine::AnswerQuery(const std::vector<std::string>& fields) {
  const std::string& tag = fields[1];
  const std::string& kind = fields[2];
  std::vector<std::string> rows;
  if (kind == "windows" && fields.size() == kQueryHeadFieldCount) {
    rows = substitute_engine::TopLevelWindowRows();
  } else if (kind == "foreground" && fields.size() == kQueryHeadFieldCount) {
    rows.push_back(substitute_engine::ForegroundWindowRow());
  } else if (kind == "post") {
    const std::vector<std::string> arguments(fields.begin() + kQueryHeadFieldCount, fields.end());
    if (auto row = substitute_engine::PostMessageRow(arguments)) {
      rows.push_back(*row);
    } else {
      ReportBadLine("query " + tag + " post with unusable fields");
    }
  } else if (kind == "process" && fields.size() == kQueryHeadFieldCount) {
    rows.push_back(substitute_engine::ProcessRow());
  } else if (kind == "menu") {
    const std::vector<std::string> arguments(fields.begin() + kQueryHeadFieldCount, fields.end());
    if (auto items = substitute_engine::PopupMenuItemRows(arguments)) {
      rows = std::move(*items);
    } else {
      ReportBadLine("query " + tag + " menu with unusable fields");
    }
  } else if (kind == "stall" && fields.size() == kQueryHeadFieldCount + 1) {
    // Long work on the platform thread: no message is pumped meanwhile.
    if (const auto ms = substitute_engine::ParseUnsigned(fields[3])) {
      NoteTraffic("main thread stalled for " + fields[3] + " ms");
      std::this_thread::sleep_for(std::chrono::milliseconds(*ms));
    } else {
      ReportBadLine("query " + tag + " stall with unusable fields");
    }
  } else if (kind == "crash" && fields.size() == kQueryHeadFieldCount) {
    NoteTraffic("crash requested");
    substitute_engine::CrashWithAccessViolation();
  } else {
    ReportBadLine("query " + tag + " " + kind);
  }
  for (const std::string& row : rows) {
    SendToDriver("result " + tag + " " + row);
  }
  SendToDriver("result " + tag + " end");
}
