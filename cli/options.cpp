#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace quadrell {
namespace {

// The most files a run may scan ahead, told or followed.
constexpr int kMostJobs = static_cast<int>(kDeepest);

enum class Option {
  kKeepDates,
  kDryRun,
  kRecursive,
  kQuiet,
  kJobs,
  kProgress,
  kNoProgress,
  kJournal,
  kUndo,
  kCheck,
  kJson,
  kExclude,
  kInclude,
  kHelp,
  kVersion
};

struct OptionName {
  std::string_view long_name;
  char short_name;  // 0: none
  Option option;
  bool takes_value;
};

constexpr OptionName kOptions[] = {
    {"keep-dates", 'p', Option::kKeepDates, false},
    {"dry-run", 'n', Option::kDryRun, false},
    {"recursive", 'r', Option::kRecursive, false},
    {"quiet", 'q', Option::kQuiet, false},
    {"jobs", 'j', Option::kJobs, true},
    {"progress", 0, Option::kProgress, false},
    {"no-progress", 0, Option::kNoProgress, false},
    {"journal", 0, Option::kJournal, true},
    {"undo", 0, Option::kUndo, true},
    {"check", 0, Option::kCheck, false},
    {"json", 0, Option::kJson, false},
    {"exclude", 0, Option::kExclude, true},
    {"include", 0, Option::kInclude, true},
    {"help", 'h', Option::kHelp, false},
    {"version", 'V', Option::kVersion, false},
};

class Parser {
 public:
  explicit Parser(const std::vector<NativePath>& arguments) : arguments_(arguments) {}

  CliOptions parse() {
    bool options_ended = false;
    for (next_ = 0; next_ < arguments_.size();) {
      const NativePath& argument = arguments_[next_++];
      const std::string text = utf8_from_native(argument);
      if (options_ended || text.size() < 2 || text[0] != '-') {
        options_.paths.push_back(argument);
      } else if (text == "--") {
        options_ended = true;
      } else if (text[1] == '-') {
        parse_long(text.substr(2));
      } else {
        parse_short(text);
      }
    }
    // A run's own errors come after those of the options; a version asks for
    // no run.
    if (!version_) check_run();
    if (help_) {
      options_.action = CliOptions::Action::kHelp;
    } else if (!options_.usage_error.empty()) {
      options_.action = CliOptions::Action::kUsageError;
    } else if (version_) {
      options_.action = CliOptions::Action::kVersion;
    }
    return std::move(options_);
  }

 private:
  // The option a long name or an unambiguous prefix of one names.
  const OptionName* find_long(const std::string& name) {
    std::vector<const OptionName*> matches;
    for (const OptionName& option : kOptions) {
      if (option.long_name == name) return &option;
      if (option.long_name.starts_with(name)) matches.push_back(&option);
    }
    if (matches.size() == 1) return matches.front();
    std::string error =
        matches.empty() ? "unknown option --" + name : "option --" + name + " is ambiguous:";
    for (const OptionName* match : matches) error += " --" + std::string(match->long_name);
    fail(error);
    return nullptr;
  }

  void parse_long(const std::string& text) {
    const std::size_t equals = text.find('=');
    // "--=x" names no option, though every name starts with its empty one.
    if (equals == 0) return fail("unknown option --" + text);
    const OptionName* option = find_long(text.substr(0, equals));
    if (option == nullptr) return;
    take(*option,
         equals == std::string::npos ? std::nullopt : std::optional(text.substr(equals + 1)));
  }

  void parse_short(const std::string& text) {
    for (std::size_t at = 1; at < text.size(); ++at) {
      const auto option =
          std::find_if(std::begin(kOptions), std::end(kOptions),
                       [&](const OptionName& o) { return o.short_name == text[at]; });
      if (option == std::end(kOptions)) return fail("unknown option -" + text.substr(at, 1));
      if (option->takes_value) {
        // The rest of the argument is the value, or the next argument.
        return take(*option,
                    at + 1 < text.size() ? std::optional(text.substr(at + 1)) : std::nullopt);
      }
      take(*option, std::nullopt);
    }
  }

  // An option with the value its argument holds, if any; one that takes a
  // value and holds none takes the next argument.
  void take(const OptionName& option, const std::optional<std::string>& attached) {
    const std::string name = "option --" + std::string(option.long_name);
    if (!option.takes_value && attached) {
      fail(name + " takes no value");
    } else if (!option.takes_value || attached) {
      set(option.option, attached.value_or(""));
    } else if (next_ < arguments_.size()) {
      set(option.option, utf8_from_native(arguments_[next_++]));
    } else {
      fail(name + " needs a value");
    }
  }

  void set(Option option, const std::string& value) {
    switch (option) {
      case Option::kKeepDates:
        options_.run.keep_dates = true;
        break;
      case Option::kDryRun:
        options_.run.mode = WriteMode::kDryRun;
        break;
      case Option::kRecursive:
        options_.run.recursive = true;
        break;
      case Option::kQuiet:
        options_.quiet = true;
        break;
      case Option::kJobs:
        set_jobs(value);
        break;
      case Option::kProgress:  // the last of the two wins
        options_.progress = true;
        break;
      case Option::kNoProgress:
        options_.progress = false;
        break;
      case Option::kJournal:
        options_.journal = native_path_from_utf8(value);
        if (options_.journal.empty()) fail("--journal needs a FILE");
        break;
      case Option::kUndo:
        options_.undo = native_path_from_utf8(value);
        if (options_.undo.empty()) fail("--undo needs a FILE");
        break;
      case Option::kCheck:
        options_.check = true;
        options_.run.mode = WriteMode::kDryRun;
        break;
      case Option::kJson:
        options_.json = true;
        break;
      case Option::kExclude:
        add_pattern(options_.run.names.exclude, "--exclude", value);
        break;
      case Option::kInclude:
        add_pattern(options_.run.names.include, "--include", value);
        break;
      case Option::kHelp:
        help_ = true;
        break;
      case Option::kVersion:
        version_ = true;
        break;
    }
  }

  void set_jobs(const std::string& value) {
    int jobs = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, jobs);
    if (error != std::errc() || stop != end || jobs < 1 || jobs > kMostJobs) {
      fail("--jobs takes a number from 1 to " + std::to_string(kMostJobs) + ", not '" + value +
           "'");
    } else {
      options_.run.read_ahead = jobs;
    }
  }

  // A pattern matches names: one that holds a separator could match none.
  void add_pattern(std::vector<NamePattern>& patterns, const char* option,
                   const std::string& value) {
    patterns_ = true;
    if (value.empty()) return fail(std::string(option) + " needs a PATTERN");
    if (value.find('/') != std::string::npos) {
      return fail(std::string(option) + " matches names, not paths: '" + value + "'");
    }
    patterns.emplace_back(native_path_from_utf8(value));
  }

  // What a run asks beyond options well formed.
  void check_run() {
    if (options_.undo.empty()) {
      if (options_.paths.empty()) fail("missing PATH");
      return;
    }
    if (!options_.paths.empty()) fail("--undo takes no PATH");
    if (options_.run.keep_dates || options_.run.recursive) {
      fail("--undo puts the dates back itself and takes no -p or -r");
    }
    if (patterns_) fail("--undo takes the files its journal names: no --exclude or --include");
  }

  // The first error is the one told.
  void fail(const std::string& error) {
    if (options_.usage_error.empty()) options_.usage_error = error;
  }

  const std::vector<NativePath>& arguments_;
  std::size_t next_ = 0;
  CliOptions options_;
  bool help_ = false;
  bool version_ = false;
  bool patterns_ = false;
};

}  // namespace

CliOptions parse_options(const std::vector<NativePath>& arguments) {
  return Parser(arguments).parse();
}

}  // namespace quadrell
