#include "app/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "app/ConfigFile.h"
#include "app/HelpLayout.h"
#include "platform/Errors.h"
#include "server/SettingsTable.h"

namespace zq {
namespace {

const char* const DESCRIPTION =
    "Runs the game server on a game installation directory. Without --headless it opens the "
    "operator window; with --headless it starts at once and runs until SIGINT/SIGTERM.\n"
    "'zqosrv accounts --help' and 'zqosrv bans --help': the accounts file from a shell.";

// The options as CLI11 reads them; the settings' texts wait for the file to be read.
class TServerOptions {
 public:
  TServerOptions() : app_(DESCRIPTION, "zqosrv") {
    UseHelpLayout(app_);
    app_.allow_extras();  // refused below, in words of our own
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.add_option("--config", Config,
                    "Configuration file: a key for each setting below (max_clients for "
                    "--max-clients); options given here win.")
        ->type_name("FILE");
    app_.add_flag("--print-config", PrintConfig,
                  "Print the settings in the file's format; the admin token only as (set).");
    app_.add_flag("--show-secrets", ShowSecrets, "With --print-config: print the admin token.");
    app_.add_flag("--check-config", CheckConfig,
                  "Check what a start would (the settings, the game directory, the log and "
                  "the accounts file) without writing anything; exit 1 naming what fails.");
    app_.add_flag("--headless", Headless, "No window: start the server at once.");
    app_.add_flag("--start", Start, "Window: press \"Start Server\" at once.");
    app_.add_flag("--version", Version, "The version.");
    app_.add_flag("--verbose", Verbose,
                  "Log the developers' traces too: --log-level debug, whatever the file says.");
    const std::span<const TSetting> table = SettingsTable();
    texts_.resize(table.size());
    for (std::size_t i = 0; i < table.size(); ++i)
      given_.push_back(app_.add_option(table[i].Option, texts_[i], table[i].Help)
                           ->type_name(table[i].ValueName)
                           ->group("Settings"));
  }

  // Raises EConvertError for what CLI11 refuses, an unknown option and a stray argument.
  void Parse(const std::vector<std::string>& args) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
      Help = true;
      return;
    } catch (const CLI::ArgumentMismatch& e) {  // "--max-clients: 1 required N missing"
      const std::string what = e.what();
      throw EConvertError("Missing value after '" + what.substr(0, what.find(':')) + "'");
    } catch (const CLI::ParseError& e) {
      throw EConvertError(e.what());
    }
    const std::vector<std::string> rest = app_.remaining();
    if (rest.empty()) return;
    const std::string& first = rest.front();
    if (first.size() > 1 && first[0] == '-' && first != "--")
      throw EConvertError("Unknown option '" + first + "' (see --help)");
    const bool separator = first == "--" && rest.size() > 1;
    throw EConvertError("Unexpected argument '" + (separator ? rest[1] : first) + "' (see --help)");
  }

  // The text of the table's setting `i`, when its option was given.
  const std::string* Given(std::size_t i) const {
    return given_[i]->count() ? &texts_[i] : nullptr;
  }
  bool ConfigGiven() const { return app_.count("--config") > 0; }
  std::string Usage() const { return app_.help(); }

  std::string Config;
  bool PrintConfig = false, ShowSecrets = false, CheckConfig = false, Headless = false,
       Start = false, Help = false, Version = false, Verbose = false;

 private:
  CLI::App app_;
  std::vector<std::string> texts_;
  std::vector<CLI::Option*> given_;
};

}  // namespace

std::string UsageText() {
  return TServerOptions().Usage();
}

std::string VersionText() {
  return std::string("zqosrv ") + VersionString + "\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TServerOptions options;
  options.Parse(args);
  TCommandLine result;
  result.Arguments = args;
  result.Help = options.Help;
  result.Version = options.Version;
  result.Headless = options.Headless;
  result.Start = options.Start;
  result.PrintConfig = options.PrintConfig;
  result.ShowSecrets = options.ShowSecrets;
  result.CheckConfig = options.CheckConfig;
  if (result.Help || result.Version) return result;

  TServerSettings& s = result.Settings;
  TConfigPlaces places;  // each key the file gave, by its place there
  if (options.ConfigGiven()) {
    result.ConfigFile = options.Config;
    try {
      places = ReadConfigFile(result.ConfigFile, s);
    } catch (const EInOutError& e) {
      throw EConvertError(std::string("--config: ") + e.what());
    }
    result.GameDirectoryGiven = !s.GameDirectory.empty();
  }
  const std::span<const TSetting> table = SettingsTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::string* text = options.Given(i);
    if (!text) continue;
    table[i].Read(s, *text, table[i].Option, TSettingSource::CommandLine);
    places.erase(table[i].Key);  // named by its option from now on
    if (&table[i] == FindSetting("game_dir")) result.GameDirectoryGiven = true;
  }
  if (options.Verbose) {
    s.LogLevel = TLogLevel::Debug;
    places.erase("log_level");
  }
  CheckSettings(s, [&](const TSetting& setting) {
    const auto place = places.find(setting.Key);
    return place == places.end() ? std::string(setting.Option) : place->second;
  });
  return result;
}

}  // namespace zq
