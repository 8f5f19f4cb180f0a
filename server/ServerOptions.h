// What a server's maker may set beyond its settings: the intervals and bounds that tests
// shorten, and the password hasher. The defaults are the running server's. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "accounts/AccountService.h"
#include "accounts/PasswordHash.h"
#include "game/ServerGameManager.h"
#include "platform/qt/TcpListener.h"
#include "protocol/ConnectionState.h"

namespace zq {

struct TServerOptions {
  uint32_t BeatInterval = BEAT_INTERVAL;
  std::size_t SendLimit = DEFAULT_SEND_LIMIT;
  uint32_t TickInterval = TICK_INTERVAL;
  // Checks passwords (null: Argon2id, moderate); tests put a fast or a slow one in.
  std::shared_ptr<const TPasswordHasher> Hasher;
  int LoginThreads = LOGIN_THREADS;
};

}  // namespace zq
