#include "server/AdminCommands.h"

#include "accounts/AccountStore.h"
#include "accounts/AdminTexts.h"
#include "accounts/Times.h"
#include "platform/TextEscape.h"
#include "protocol/MessageCodes.h"

namespace zq {

TAdminCommands::TAdminCommands(TAdministration& administration, ISessionHost& host,
                               TSocketTable& sockets, TGameMessenger& gameQueue)
    : administration_(administration), host_(host), sockets_(sockets), gameQueue_(gameQueue) {}

void TAdminCommands::Answer(uint64_t serial, int32_t number, const std::string& line) {
  auto message = std::make_unique<GameMessage>();
  message->MsgType = PrivateSpeech;
  message->SocketID = number;
  message->Serial = serial;
  message->SetData(line);
  gameQueue_.Push(std::move(message));
}

bool TAdminCommands::OnSpeech(TSocketID& client, std::string_view text) {
  if (!client.Admin || !IsAdminCommand(text)) return false;  // others' "/..." is speech
  administration_.CheckAdmin(
      client.PlayerName, [this, serial = client.Serial, name = client.PlayerName,
                          text = std::string(text)](bool admin, const std::string& error) {
        TSocketID* speaker = host_.FindBySerial(serial);
        if (!speaker || !speaker->InGame() || !SameName(speaker->PlayerName, name)) return;  // left
        Carry(*speaker, text, admin, error);
      });
  return true;
}

void TAdminCommands::Carry(TSocketID& client, const std::string& text, bool admin,
                           const std::string& error) {
  if (!error.empty()) return Answer(client.Serial, client.Number, AdminText::Failed(error));
  if (!admin) {
    administration_.Demote(client.PlayerName);
    host_.Log(TLogLevel::Notice, EscapeControl(client.PlayerName) + " is no longer an Admin: " +
                                     EscapeControl(text) + " refused.");
    return Answer(client.Serial, client.Number, AdminText::NoLongerAdmin());
  }
  host_.Log(TLogLevel::Notice,
            "Admin " + EscapeControl(client.PlayerName) + ": " + EscapeControl(text));
  TAdminParse parsed = ParseAdminCommand(text);
  if (!parsed.Command) {
    Answer(client.Serial, client.Number, parsed.Error);
  } else {
    Run(client, *parsed.Command);
  }
}

void TAdminCommands::Run(TSocketID& admin, const TAdminCommand& command) {
  const uint64_t serial = admin.Serial;
  const int32_t number = admin.Number;
  auto answer = [this, serial, number](const std::string& line) { Answer(serial, number, line); };
  const std::string by = EscapeControl(admin.PlayerName);
  switch (command.Verb) {
    case TAdminVerb::Players: {
      std::vector<std::string> names;
      for (const TSocketID& client : sockets_)
        if (client.InUse() && client.InGame()) names.push_back(client.PlayerName);
      for (const std::string& line : AdminText::Players(names)) answer(line);
      return;
    }
    case TAdminVerb::Kick: {
      TSocketID* target = host_.FindPlayer(command.Name);
      if (!target) return answer(AdminText::NotInGame(command.Name));
      answer(AdminText::Kicked(target->PlayerName));
      administration_.KickClient(target->Number, by);
      return;
    }
    case TAdminVerb::Ban: {
      // A range that holds this admin, or a very wide one, waits for /ban!.
      if (const std::string why = ConfirmationNeeded(command.Target, admin.Address);
          !why.empty() && !command.Force)
        return answer(AdminText::ConfirmWithBanBang(why));
      const TBan ban =
          NewBan(command.Target, command.Reason, command.DurationSeconds, SystemWallClock());
      const std::string done = AdminText::Banned(command.Target, command.DurationSeconds);
      return administration_.AddBan(
          ban,
          [answer, done](const std::string& error) {
            answer(error.empty() ? done : AdminText::Failed(error));
          },
          by);
    }
    case TAdminVerb::Unban:
      return administration_.RemoveBan(
          command.Target, by,
          [answer, target = command.Target](TEditOutcome outcome, const std::string& error) {
            if (outcome == TEditOutcome::Done) return answer(AdminText::Unbanned(target));
            if (outcome == TEditOutcome::Missing) return answer(AdminText::NotBanned(target));
            answer(AdminText::Failed(error));
          });
    case TAdminVerb::Pause:
    case TAdminVerb::Resume: {
      const bool pause = command.Verb == TAdminVerb::Pause;
      if (host_.Paused() == pause)
        return answer(pause ? AdminText::AlreadyPaused() : AdminText::NotPaused());
      host_.SetPaused(pause);
      return answer(pause ? AdminText::Paused() : AdminText::Resumed());
    }
  }
}

}  // namespace zq
