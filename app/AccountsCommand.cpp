#include "app/AccountsCommand.h"

#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "accounts/AccountStore.h"
#include "accounts/BanList.h"
#include "accounts/NameText.h"
#include "accounts/Times.h"
#include "app/HelpLayout.h"
#include "platform/Errors.h"

namespace zq {
namespace {

using TOpen = TAccountDb::TOpen;

// Turns terminal echo off while it lives.
class TNoEcho {
 public:
  TNoEcho() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~TNoEcho() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  TNoEcho(const TNoEcho&) = delete;
  TNoEcho& operator=(const TNoEcho&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

std::string ReadLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) throw EConvertError("No password on standard input");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ReadPassword(std::istream& in, std::ostream& err) {
  std::string password;
  if (&in == &std::cin && isatty(STDIN_FILENO)) {
    TNoEcho quiet;
    err << "Password: " << std::flush;
    password = ReadLine(in);
    err << "\nAgain: " << std::flush;
    std::string again = ReadLine(in);
    err << "\n";
    if (again != password) throw EConvertError("The two passwords differ");
  } else {
    password = ReadLine(in);
  }
  if (password.empty()) throw EConvertError("A password cannot be empty");
  return password;
}

// Prints rows in columns as wide as their widest cell, two spaces apart.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << "\n";
  }
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// A name as the operator sees and writes it (escaped where it is not UTF-8).
std::string Shown(const std::string& name) {
  return ShowName(name);
}

class TAccountsCommand {
 public:
  TAccountsCommand(std::istream& in, std::ostream& out, std::ostream& err,
                   const TAccountsCommandOptions& options)
      : in_(in), out_(out), err_(err), options_(options) {}

  int Run(const std::vector<std::string>& args);

 private:
  void DefineAccounts(CLI::App& app);
  void DefineBans(CLI::App& app);
  std::string File() const { return AccountsFilePath(gameDir_, accountsOption_); }
  TAccountStore Open(TOpen open) { return TAccountStore(File(), open); }
  std::string NewHash() {
    std::string password = ReadPassword(in_, err_);
    return TArgon2Hasher(options_.HashLimits).Hash(password);
  }
  [[noreturn]] void NoAccount() {
    throw EConvertError("No account named " + Quoted(Shown(name_)) + " in " + File());
  }

  void ListAccounts();
  void AddAccount();
  void ChangePassword();
  void RemoveAccount();
  void SetPrivileges();
  void ListBans();
  void AddBan();
  void RemoveBan();
  // The ban target given, read as --kind says.
  TBanTarget Target() const;

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  const TAccountsCommandOptions& options_;
  std::function<void()> action_;
  std::string accountsOption_;
  std::string gameDir_;
  std::string name_;  // an account name or a ban target
  bool admin_ = false;
  std::string privileges_;
  std::string duration_;
  std::string reason_;
  std::string kind_;
  bool force_ = false;
};

int TAccountsCommand::Run(const std::vector<std::string>& args) {
  std::string what = args.empty() ? "" : args[0];
  if (what != "accounts" && what != "bans") {
    err_ << "zqosrv: expected \"accounts\" or \"bans\"\n";
    return 1;
  }
  CLI::App app(what == "accounts" ? "Manages the players' accounts of zqosrv."
                                  : "Manages the bans of zqosrv.",
               "zqosrv " + what);
  UseHelpLayout(app);
  app.fallthrough();  // the file options may also follow the subcommand
  app.add_option("--accounts", accountsOption_,
                 "The accounts file; a relative path is taken from the game directory "
                 "(default: zqosrv.db in the game directory).")
      ->type_name("FILE");
  app.add_option("--game-dir", gameDir_, "The game directory (default: the current directory).")
      ->check(CLI::ExistingDirectory.description(""))  // its name is DIR alone
      ->type_name("DIR");
  app.require_subcommand(1);
  if (what == "accounts") {
    DefineAccounts(app);
  } else {
    DefineBans(app);
  }
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out_, err_) == 0 ? 0 : 1;
  }
  try {
    name_ = ReadName(name_);  // as the listings show it
    action_();
  } catch (const std::exception& e) {
    err_ << "zqosrv " << what << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}

void TAccountsCommand::DefineAccounts(CLI::App& app) {
  app.add_subcommand("list", "Lists every account.")->callback([this] {
    action_ = [this] { ListAccounts(); };
  });
  CLI::App* add = app.add_subcommand("add", "Adds an account; asks for its password.");
  add->add_option("NAME", name_, "The account's name.")->required();
  add->add_flag("--admin", admin_, "With Admin privileges (else Player).");
  add->callback([this] { action_ = [this] { AddAccount(); }; });
  CLI::App* passwd = app.add_subcommand("passwd", "Sets an account's password; asks for it.");
  passwd->add_option("NAME", name_, "The account's name.")->required();
  passwd->callback([this] { action_ = [this] { ChangePassword(); }; });
  CLI::App* remove = app.add_subcommand("remove", "Removes an account.");
  remove->add_option("NAME", name_, "The account's name.")->required();
  remove->callback([this] { action_ = [this] { RemoveAccount(); }; });
  CLI::App* set = app.add_subcommand("set", "Sets an account's privileges.");
  set->add_option("NAME", name_, "The account's name.")->required();
  set->add_option("--privileges", privileges_, "Player or Admin (required).")
      ->required()
      ->type_name("P");
  set->callback([this] { action_ = [this] { SetPrivileges(); }; });
}

void TAccountsCommand::DefineBans(CLI::App& app) {
  app.add_subcommand("list", "Lists every ban, expired ones too.")->callback([this] {
    action_ = [this] { ListBans(); };
  });
  const char* const kindHelp =
      "name or address: how TARGET is read (default: as it looks; address takes ranges too).";
  CLI::App* add =
      app.add_subcommand("add", "Bans a name, an IP address or a range (CIDR; IPv4 or IPv6).");
  add->add_option("TARGET", name_, "A name, a.b.c.d, a.b.c.d/n, an IPv6 address or prefix.")
      ->required();
  add->add_option("--kind", kind_, kindHelp)->type_name("KIND");
  add->add_option("--for", duration_, "How long: 30s, 10m, 2h, 7d (default: for good).")
      ->type_name("DURATION");
  add->add_option("--reason", reason_, "Why, for the log and the list.")->type_name("REASON");
  add->add_flag("--force", force_,
                "Bans a range of fewer than 8 prefix bits (16 for IPv6) all the same.");
  add->callback([this] { action_ = [this] { AddBan(); }; });
  CLI::App* remove = app.add_subcommand("remove", "Lifts the ban on a target.");
  remove->add_option("TARGET", name_, "As given to add.")->required();
  remove->add_option("--kind", kind_, kindHelp)->type_name("KIND");
  remove->callback([this] { action_ = [this] { RemoveBan(); }; });
}

void TAccountsCommand::ListAccounts() {
  std::vector<TAccount> accounts = Open(TOpen::MustExist).List();
  if (accounts.empty()) {
    out_ << "No accounts in " << File() << ".\n";
    return;
  }
  std::vector<std::vector<std::string>> rows = {
      {"NAME", "PRIVILEGES", "PASSWORD", "CREATED", "LAST LOGIN", "LAST ADDRESS", "PLAYED"}};
  for (const TAccount& a : accounts) {
    rows.push_back({Shown(a.Name), std::string(PrivilegesName(a.Privileges)),
                    a.HasPassword() ? "set" : "none", FormatTime(a.Created),
                    a.LastLogin ? FormatTime(*a.LastLogin) : "never",
                    a.LastAddress.empty() ? "-" : a.LastAddress, FormatDuration(a.PlaySeconds)});
  }
  PrintTable(out_, rows);
}

void TAccountsCommand::AddAccount() {
  if (std::string problem = NewAccountNameProblem(name_); !problem.empty()) {
    throw EConvertError("Invalid account name " + Quoted(Shown(name_)) + ": " + problem);
  }
  TAccountStore store = Open(TOpen::CreateIfMissing);
  if (store.Find(name_)) {
    throw EConvertError("An account named " + Quoted(Shown(name_)) + " exists already in " +
                        File());
  }
  TAccount account;
  account.Name = name_;
  account.Privileges = admin_ ? TPrivileges::Admin : TPrivileges::Player;
  account.Created = SystemWallClock();
  account.PasswordHash = NewHash();
  if (!store.Add(account)) {  // taken while the password was typed
    throw EConvertError("An account named " + Quoted(Shown(name_)) + " exists already in " +
                        File());
  }
  out_ << "Added account " << Shown(name_) << " (" << PrivilegesName(account.Privileges) << ") to "
       << File() << ".\n";
}

void TAccountsCommand::ChangePassword() {
  TAccountStore store = Open(TOpen::MustExist);
  if (!store.Find(name_)) NoAccount();
  if (!store.SetPasswordHash(name_, NewHash())) NoAccount();
  out_ << "Changed the password of " << Shown(name_) << " in " << File() << ".\n";
}

void TAccountsCommand::RemoveAccount() {
  if (!Open(TOpen::MustExist).Remove(name_)) NoAccount();
  out_ << "Removed account " << Shown(name_) << " from " << File() << ".\n";
}

void TAccountsCommand::SetPrivileges() {
  std::optional<TPrivileges> privileges = ParsePrivileges(privileges_);
  if (!privileges) {
    throw EConvertError("Invalid privileges " + Quoted(privileges_) + ": Player or Admin");
  }
  if (!Open(TOpen::MustExist).SetPrivileges(name_, *privileges)) NoAccount();
  out_ << Shown(name_) << " now has " << PrivilegesName(*privileges) << " privileges in " << File()
       << ".\n";
}

void TAccountsCommand::ListBans() {
  std::vector<TBan> bans = Open(TOpen::MustExist).Bans().List();
  if (bans.empty()) {
    out_ << "No bans in " << File() << ".\n";
    return;
  }
  int64_t now = SystemWallClock();
  std::vector<std::vector<std::string>> rows = {{"TARGET", "KIND", "SINCE", "UNTIL", "REASON"}};
  for (const TBan& ban : bans) {
    std::string until = !ban.Expires        ? "for good"
                        : ban.ActiveAt(now) ? FormatTime(*ban.Expires)
                                            : FormatTime(*ban.Expires) + " (expired)";
    rows.push_back({Shown(ban.Target.Text), std::string(BanKindName(ban.Target.Kind)),
                    FormatTime(ban.Created), until, ban.Reason});
  }
  PrintTable(out_, rows);
}

TBanTarget TAccountsCommand::Target() const {
  std::optional<TBanReading> reading = kind_.empty() ? TBanReading::Any : ParseBanReading(kind_);
  if (!reading)
    throw EConvertError("Invalid kind " + Quoted(kind_) + " for --kind: name or address");
  return ParseBanTarget(name_, *reading);
}

void TAccountsCommand::AddBan() {
  TBanTarget target = Target();
  // The shell does not know where its operator plays from: only the width is asked about.
  if (const std::string why = ConfirmationNeeded(target); !why.empty() && !force_)
    throw EConvertError(why + "; give --force to ban it all the same");
  std::optional<int64_t> duration;
  if (!duration_.empty()) {
    duration = ParseDuration(duration_);
    if (!duration) {
      throw EConvertError("Invalid duration " + Quoted(duration_) +
                          " for --for: a number with s, m, h or d, as in 30s, 10m, 2h, 7d");
    }
  }
  const TBan ban = NewBan(std::move(target), reason_, duration, SystemWallClock());
  Open(TOpen::CreateIfMissing).Bans().Add(ban);
  out_ << "Banned " << Shown(ban.Target.Text)
       << (duration ? " for " + FormatDuration(*duration) + ", until " + FormatTime(*ban.Expires)
                    : std::string(" for good"))
       << " in " << File() << ".\n";
}

void TAccountsCommand::RemoveBan() {
  TBanTarget target = Target();
  if (!Open(TOpen::MustExist).Bans().Remove(target)) {
    throw EConvertError(Shown(target.Text) + " is not banned in " + File());
  }
  out_ << "Lifted the ban on " << Shown(target.Text) << " in " << File() << ".\n";
}

}  // namespace

int RunAccountsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                       std::ostream& err) {
  return RunAccountsCommand(args, in, out, err, TAccountsCommandOptions{});
}

int RunAccountsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                       std::ostream& err, const TAccountsCommandOptions& options) {
  return TAccountsCommand(in, out, err, options).Run(args);
}

}  // namespace zq
