#include "accounts/LoginVerdict.h"

namespace zq {

std::string_view RefusalText(TLoginOutcome outcome) {
  switch (outcome) {
    case TLoginOutcome::Accepted:
      return "";
    case TLoginOutcome::WrongNameOrPassword:
      return "Wrong name or password.";
    case TLoginOutcome::Banned:
      return "You are banned.";
    case TLoginOutcome::NameInGame:
      return "This name is in the game already.";
    case TLoginOutcome::TooManyFailures:
      return "Too many failed logins from your address; try again in a minute.";
    case TLoginOutcome::TooManyFailuresForName:
      return "Too many failed logins for this name; try again in a minute.";
    case TLoginOutcome::TooManyLogins:
      return "Too many logins from your address; try again in a minute.";
    case TLoginOutcome::ServerBusy:
      return "The server is busy; try again in a moment.";
    case TLoginOutcome::CheckFailed:
      return "The server cannot check logins now; try again later.";
    case TLoginOutcome::NameReadsAsAddress:
      return "This name reads as an address; choose another.";
  }
  return "";
}

std::string RefusalLogLine(const TLoginVerdict& verdict) {
  return "Login refused for " + verdict.Name + " from " + verdict.Address + ": " +
         std::string(RefusalText(verdict.Outcome));
}

}  // namespace zq
