#include "settings/RunOptions.h"

#include "base/SysUtils.h"
#include "platform/Platform.h"

TRunOptions RunOptions;

// Both from the release configuration (release.cmake).
const char* const kInstallerQuietArguments = SETUPTQ_INSTALLER_QUIET;
const char* const kInstallerNoRestartArgument = SETUPTQ_INSTALLER_NORESTART;

namespace {

/// The option's name in lower case without its "/" or "-", and the value after "=" (or
/// nothing); empty for an argument that is no option.
std::string OptionName(const std::string& argument, std::string& value, bool& hasValue) {
  hasValue = false;
  if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::string();
  std::string name = argument.substr(1);
  if (const std::size_t eq = name.find('='); eq != std::string::npos) {
    value = name.substr(eq + 1);
    name.resize(eq);
    hasValue = true;
  }
  return LowerCase(name);
}

void AppendWord(std::string& line, const std::string& word) {
  if (word.empty()) return;
  if (!line.empty()) line += ' ';
  line += word;
}

}  // namespace

TRunOptions ParseRunOptions(const std::vector<TPath>& arguments) {
  TRunOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i].Native();
    std::string value;
    bool hasValue = false;
    const std::string name = OptionName(argument, value, hasValue);
    if (!hasValue && (name == "?" || name == "help")) {
      options.Help = true;
    } else if (!hasValue && name == "quiet") {
      options.Mode = rmQuiet;
    } else if (!hasValue && name == "passive") {
      // Quiet wins over passive, whichever comes first.
      if (options.Mode != rmQuiet) options.Mode = rmPassive;
    } else if (!hasValue && name == "skipcheck") {
      options.SkipCheck = true;
    } else if (name == "log") {
      if (!hasValue && i + 1 < arguments.size()) value = arguments[++i].Native();
      if (value.empty())
        options.Problem = argument + " names no file: /log PATH or /log=PATH";
      else
        options.LogFile = TPath::FromNative(value);
    } else {
      // Not ours, even when it looks like ours (/quite): the installer may know it.
      options.InstallerArguments.push_back(arguments[i]);
    }
  }
  return options;
}

void ReadRunOptions() {
  std::vector<TPath> arguments;
  for (int i = 1; i <= platform::ParamCount(); ++i) arguments.push_back(platform::ParamStr(i));
  RunOptions = ParseRunOptions(arguments);
}

std::string QuoteArgument(const std::string& argument) {
  bool plain = !argument.empty();
  for (char c : argument)
    if (static_cast<unsigned char>(c) <= ' ' || c == '"') plain = false;
  if (plain) return argument;
  std::string quoted = "\"";
  std::size_t slashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++slashes;
    } else {
      // Backslashes before a quote are doubled, and the quote escaped; elsewhere they stand.
      if (c == '"') quoted.append(slashes + 1, '\\');
      slashes = 0;
    }
    quoted += c;
  }
  quoted.append(slashes, '\\');  // before the closing quote
  return quoted + "\"";
}

TPath InstallerParameters(const TRunOptions& options) {
  std::string line;
  if (options.Unattended()) {
    AppendWord(line, kInstallerQuietArguments);
    AppendWord(line, kInstallerNoRestartArgument);
  }
  const std::vector<TPath>& handed = options.InstallerArguments;
  if (handed.size() == 1) {
    if (!line.empty()) line += ' ';
    line += handed[0].Native();
  } else {
    for (const TPath& argument : handed) {
      if (!line.empty()) line += ' ';
      line += QuoteArgument(argument.Native());
    }
  }
  return TPath::FromNative(line);
}

std::string HelpText() {
  return "用法：setupTQ.exe [选项] [交给安装程序的参数...]\r\n\r\n"
         "/quiet\t静默：不显示任何窗口\r\n"
         "/passive\t无人值守：只显示进度，无需点击\r\n"
         "\t（两者都等待安装程序结束）\r\n"
         "/log 路径\t运行记录写到该文件（或 /log=路径）\r\n"
         "/skipcheck\t不向服务器验证，直接安装\r\n"
         "/? 或 /help\t显示本说明\r\n\r\n"
         "选项以 / 或 - 开头，不分大小写；\r\n其余参数按顺序原样交给安装程序。\r\n\r\n"
         "退出代码：\r\n"
         "0\t安装程序已运行并成功结束\r\n"
         "其他\t安装程序自己的代码（如 3010：需要重启）\r\n"
         "1602\t用户关闭了窗口或取消了安装\r\n"
         "1603\t无法解压或启动安装程序\r\n"
         "1639\t命令行无效（/log 缺少路径或无法写入）\r\n"
         "2101\t验证失败：服务器的验证码属于另一版本\r\n"
         "2102\t没有服务器应答（网络或防火墙不通）";
}

std::string DescribeRunOptions(const TRunOptions& options) {
  std::string text = options.Mode == rmQuiet     ? "mode quiet"
                     : options.Mode == rmPassive ? "mode passive"
                                                 : "mode interactive";
  if (options.Help) text += ", help";
  if (options.SkipCheck) text += ", skip the check (the administrator's choice)";
  if (!options.LogFile.Empty()) text += ", log " + options.LogFile.Native();
  text += ", " + std::to_string(options.InstallerArguments.size()) + " argument(s) for the installer";
  return text;
}
