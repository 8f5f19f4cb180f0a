// Admin commands: an Admin's speech that begins with "/" is taken on the main thread, never
// relayed; the answer goes back through the game as speech that the admin alone hears.
// Bans are written on the job thread and answered when the write is done.
#include "accounts/AdminTexts.h"
#include "platform/TextEscape.h"
#include "server/ZQOSrv.h"

namespace zq {

void TZQOServer::Answer(uint64_t serial, int32_t number, const std::string& line) {
  auto message = std::make_unique<GameMessage>();
  message->MsgType = PrivateSpeech;
  message->SocketID = number;
  message->Serial = serial;
  message->SetData(line);
  gameQueue_->Push(std::move(message));
}

bool TZQOServer::OnSpeech(TSocketID& client, std::string_view text) {
  if (!client.Admin || !IsAdminCommand(text)) return false;  // others' "/..." is speech
  Log("Admin " + EscapeControl(client.PlayerName) + ": " + EscapeControl(text));
  TAdminParse parsed = ParseAdminCommand(text);
  if (!parsed.Command) {
    Answer(client.Serial, client.Number, parsed.Error);
  } else {
    RunAdminCommand(client, *parsed.Command);
  }
  return true;
}

void TZQOServer::RunAdminCommand(TSocketID& admin, const TAdminCommand& command) {
  const uint64_t serial = admin.Serial;
  const int32_t number = admin.Number;
  auto answer = [this, serial, number](const std::string& line) { Answer(serial, number, line); };
  switch (command.Verb) {
    case TAdminVerb::Players: {
      std::vector<std::string> names;
      for (const TSocketID& client : sockets_)
        if (client.InUse() && client.InGame()) names.push_back(client.PlayerName);
      for (const std::string& line : AdminText::Players(names)) answer(line);
      return;
    }
    case TAdminVerb::Kick: {
      TSocketID* target = FindPlayer(command.Name);
      if (!target) return answer(AdminText::NotInGame(command.Name));
      const std::string name = target->PlayerName;
      answer(AdminText::Kicked(name));
      KickClient(target->Number, EscapeControl(admin.PlayerName));
      return;
    }
    case TAdminVerb::Ban: {
      const TBan ban =
          NewBan(command.Target, command.Reason, command.DurationSeconds, SystemWallClock());
      const std::string done = AdminText::Banned(command.Target, command.DurationSeconds);
      return AddBan(
          ban,
          [answer, done](const std::string& error) {
            answer(error.empty() ? done : AdminText::Failed(error));
          },
          EscapeControl(admin.PlayerName));
    }
    case TAdminVerb::Unban:
      return RemoveBan(
          command.Target, EscapeControl(admin.PlayerName),
          [answer, target = command.Target](TEditOutcome outcome, const std::string& error) {
            if (outcome == TEditOutcome::Done) return answer(AdminText::Unbanned(target));
            if (outcome == TEditOutcome::Missing) return answer(AdminText::NotBanned(target));
            answer(AdminText::Failed(error));
          });
    case TAdminVerb::Pause:
    case TAdminVerb::Resume: {
      const bool pause = command.Verb == TAdminVerb::Pause;
      if (paused_ == pause)
        return answer(pause ? AdminText::AlreadyPaused() : AdminText::NotPaused());
      SetPaused(pause);
      return answer(pause ? AdminText::Paused() : AdminText::Resumed());
    }
  }
}

}  // namespace zq
