// Reader of the program's own .rc script: the subset of the resource language that script uses.
#include "platform/sim/rc_script.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sim::rc {
namespace {

struct Token {
  enum Kind { Identifier, Number, String, Symbol, End } kind = End;
  std::string text;
  long long value = 0;
  int line = 0;
};

// Names the script may use that come from the platform's headers.
const std::map<std::string, long long>& PlatformConstants() {
  static const std::map<std::string, long long> constants = {
      {"WS_OVERLAPPED", WS_OVERLAPPED},
      {"WS_POPUP", WS_POPUP},
      {"WS_CHILD", WS_CHILD},
      {"WS_MINIMIZE", WS_MINIMIZE},
      {"WS_VISIBLE", WS_VISIBLE},
      {"WS_DISABLED", WS_DISABLED},
      {"WS_CAPTION", WS_CAPTION},
      {"WS_BORDER", WS_BORDER},
      {"WS_DLGFRAME", WS_DLGFRAME},
      {"WS_VSCROLL", WS_VSCROLL},
      {"WS_HSCROLL", WS_HSCROLL},
      {"WS_SYSMENU", WS_SYSMENU},
      {"WS_THICKFRAME", WS_THICKFRAME},
      {"WS_GROUP", WS_GROUP},
      {"WS_TABSTOP", WS_TABSTOP},
      {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
      {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
      {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME},
      {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
      {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
      {"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
      {"DS_3DLOOK", DS_3DLOOK},
      {"DS_FIXEDSYS", DS_FIXEDSYS},
      {"DS_SETFONT", DS_SETFONT},
      {"DS_MODALFRAME", DS_MODALFRAME},
      {"DS_CENTER", DS_CENTER},
      {"BS_PUSHBUTTON", BS_PUSHBUTTON},
      {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
      {"BS_CHECKBOX", BS_CHECKBOX},
      {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
      {"BS_RADIOBUTTON", BS_RADIOBUTTON},
      {"BS_GROUPBOX", BS_GROUPBOX},
      {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
      {"BS_FLAT", BS_FLAT},
      {"SS_LEFT", SS_LEFT},
      {"SS_CENTER", SS_CENTER},
      {"SS_RIGHT", SS_RIGHT},
      {"SS_NOTIFY", SS_NOTIFY},
      {"ES_LEFT", ES_LEFT},
      {"ES_MULTILINE", ES_MULTILINE},
      {"ES_AUTOVSCROLL", ES_AUTOVSCROLL},
      {"ES_READONLY", ES_READONLY},
      {"LBS_NOTIFY", LBS_NOTIFY},
      {"LBS_SORT", LBS_SORT},
      {"LBS_NOINTEGRALHEIGHT", LBS_NOINTEGRALHEIGHT},
      {"IDOK", IDOK},
      {"IDCANCEL", IDCANCEL},
      {"LANG_CHINESE", 0x04},
      {"LANG_ENGLISH", 0x09},
      {"SUBLANG_CHINESE_SIMPLIFIED", 0x02},
      {"SUBLANG_NEUTRAL", 0x00},
      {"SUBLANG_ENGLISH_US", 0x01},
      {"VS_VERSION_INFO", 1},
      {"CREATEPROCESS_MANIFEST_RESOURCE_ID", 1},
  };
  return constants;
}

class Parser {
 public:
  Parser(std::vector<std::string> includeDirs) : includeDirs_(std::move(includeDirs)) {}

  bool ParseFile(const std::string& path, ResourceScript& out) {
    std::string text;
    if (!ReadFile(path, text)) return Fail(path, 0, "cannot read file");
    file_ = path;
    tokens_.clear();
    pos_ = 0;
    if (!Tokenize(path, text, true)) return false;
    while (Peek().kind != Token::End) {
      if (!ParseTopLevel(out)) return false;
    }
    return true;
  }

  std::string error;

 private:
  static bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
  }

  bool Fail(const std::string& path, int line, const std::string& message) {
    error = path + ":" + std::to_string(line) + ": " + message;
    return false;
  }

  std::string FindInclude(const std::string& from, const std::string& name) {
    std::vector<std::string> dirs;
    auto slash = from.find_last_of('/');
    dirs.push_back(slash == std::string::npos ? "." : from.substr(0, slash));
    dirs.insert(dirs.end(), includeDirs_.begin(), includeDirs_.end());
    for (const auto& dir : dirs) {
      std::string candidate = dir + "/" + name;
      if (std::ifstream(candidate)) return candidate;
    }
    return {};
  }

  // Preprocessor lines: quoted includes are read for their #defines; other directives are
  // conditionals and pragmas this script does not depend on.
  bool Directive(const std::string& path, const std::string& line, int lineNo) {
    std::istringstream in(line.substr(1));
    std::string word;
    in >> word;
    if (word == "include") {
      std::string rest;
      std::getline(in, rest);
      auto open = rest.find('"');
      if (open == std::string::npos) return true;  // a system header: its names are built in
      auto close = rest.find('"', open + 1);
      std::string name = rest.substr(open + 1, close - open - 1);
      std::string found = FindInclude(path, name);
      if (found.empty()) return Fail(path, lineNo, "include not found: " + name);
      std::string text;
      if (!ReadFile(found, text)) return Fail(found, 0, "cannot read file");
      return Tokenize(found, text, false);
    }
    if (word == "define") {
      std::string name, rest;
      in >> name;
      std::getline(in, rest);
      std::vector<Token> saved;
      saved.swap(tokens_);
      bool ok = Lex(path, rest, lineNo, false);
      std::vector<Token> body;
      body.swap(tokens_);
      tokens_.swap(saved);
      if (!ok) return false;
      macros_[name] = body;
    }
    return true;
  }

  bool Tokenize(const std::string& path, const std::string& text, bool keepTokens) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool inComment = false;
    while (std::getline(in, line)) {
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (inComment) {
        auto end = line.find("*/");
        if (end == std::string::npos) continue;
        line = line.substr(end + 2);
        inComment = false;
      }
      size_t first = line.find_first_not_of(" \t");
      if (first != std::string::npos && line[first] == '#') {
        if (!Directive(path, line.substr(first), lineNo)) return false;
        continue;
      }
      auto open = line.find("/*");
      if (open != std::string::npos && line.find("*/", open) == std::string::npos) {
        line = line.substr(0, open);
        inComment = true;
      }
      if (keepTokens && !Lex(path, line, lineNo, true)) return false;
    }
    return true;
  }

  bool Lex(const std::string& path, const std::string& line, int lineNo, bool expand) {
    size_t i = 0;
    while (i < line.size()) {
      char c = line[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') {
        break;
      } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
        auto end = line.find("*/", i + 2);
        i = end == std::string::npos ? line.size() : end + 2;
      } else if (c == '"' || (c == 'L' && i + 1 < line.size() && line[i + 1] == '"')) {
        if (c == 'L') ++i;
        std::string value;
        ++i;
        for (;;) {
          if (i >= line.size()) return Fail(path, lineNo, "unterminated string");
          if (line[i] == '"') {
            if (i + 1 < line.size() && line[i + 1] == '"') {
              value += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          value += line[i++];
        }
        tokens_.push_back({Token::String, value, 0, lineNo});
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        size_t start = i;
        while (i < line.size() && std::isalnum(static_cast<unsigned char>(line[i]))) ++i;
        std::string number = line.substr(start, i - start);
        while (!number.empty() && (number.back() == 'L' || number.back() == 'U' ||
                                   number.back() == 'l' || number.back() == 'u'))
          number.pop_back();
        char* end = nullptr;
        long long value = std::strtoll(number.c_str(), &end, 0);
        if (*end != '\0') return Fail(path, lineNo, "bad number " + number);
        tokens_.push_back({Token::Number, number, value, lineNo});
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t start = i;
        while (i < line.size() &&
               (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_'))
          ++i;
        std::string word = line.substr(start, i - start);
        auto macro = macros_.find(word);
        if (expand && macro != macros_.end()) {
          for (Token t : macro->second) {
            t.line = lineNo;
            tokens_.push_back(t);
          }
        } else {
          tokens_.push_back({Token::Identifier, word, 0, lineNo});
        }
      } else {
        tokens_.push_back({Token::Symbol, std::string(1, c), 0, lineNo});
        ++i;
      }
    }
    return true;
  }

  const Token& Peek() const {
    static const Token end;
    return pos_ < tokens_.size() ? tokens_[pos_] : end;
  }
  Token Next() {
    Token t = Peek();
    if (pos_ < tokens_.size()) ++pos_;
    return t;
  }
  bool IsWord(const char* word) const {
    return Peek().kind == Token::Identifier && Peek().text == word;
  }
  bool Expect(const char* symbol) {
    if (Peek().kind == Token::Symbol && Peek().text == symbol) {
      Next();
      return true;
    }
    return Fail(file_, Peek().line,
                std::string("expected '") + symbol + "' near '" + Peek().text + "'");
  }
  bool SkipComma() {
    if (Peek().kind == Token::Symbol && Peek().text == ",") {
      Next();
      return true;
    }
    return false;
  }

  bool Primary(long long& value) {
    Token t = Next();
    if (t.kind == Token::Number) {
      value = t.value;
      return true;
    }
    if (t.kind == Token::Symbol && t.text == "(") {
      if (!Expression(value)) return false;
      return Expect(")");
    }
    if (t.kind == Token::Symbol && t.text == "-") {
      if (!Primary(value)) return false;
      value = -value;
      return true;
    }
    if (t.kind == Token::Identifier) {
      auto constant = PlatformConstants().find(t.text);
      if (constant != PlatformConstants().end()) {
        value = constant->second;
        return true;
      }
    }
    return Fail(file_, t.line, "unknown value '" + t.text + "'");
  }

  // Style expressions: terms joined by | or +, where "NOT x" clears the bits of x.
  bool Expression(long long& value) {
    value = 0;
    bool first = true;
    for (;;) {
      bool clear = false;
      if (IsWord("NOT")) {
        Next();
        clear = true;
      }
      long long term = 0;
      if (!Primary(term)) return false;
      if (clear) {
        value &= ~term;
      } else {
        value = first ? term : (value | term);
      }
      first = false;
      if (Peek().kind == Token::Symbol && (Peek().text == "|" || Peek().text == "+")) {
        Next();
        continue;
      }
      return true;
    }
  }

  bool Integer(int& out) {
    long long value = 0;
    if (!Expression(value)) return false;
    out = static_cast<int>(value);
    return true;
  }

  bool Text(std::string& out) {
    Token t = Next();
    if (t.kind != Token::String) return Fail(file_, t.line, "expected a string");
    out = t.text;
    return true;
  }

  bool SkipBlock() {
    int depth = 0;
    for (;;) {
      Token t = Next();
      if (t.kind == Token::End) return Fail(file_, t.line, "unterminated block");
      if (t.kind == Token::Identifier && (t.text == "BEGIN")) ++depth;
      if (t.kind == Token::Identifier && (t.text == "END") && --depth == 0) return true;
    }
  }

  bool ParseTopLevel(ResourceScript& out) {
    if (IsWord("LANGUAGE")) {
      Next();
      long long ignored = 0;
      if (!Expression(ignored) || !Expect(",")) return false;
      return Expression(ignored);
    }
    int id = 0;
    if (!Integer(id)) return false;
    Token type = Next();
    if (type.kind != Token::Identifier) return Fail(file_, type.line, "expected a resource type");
    if (type.text == "DIALOGEX" || type.text == "DIALOG") return ParseDialog(id, out);
    if (type.text == "VERSIONINFO") {
      while (!IsWord("BEGIN") && Peek().kind != Token::End) Next();
      return SkipBlock();
    }
    std::string file;
    if (!Text(file)) return false;
    std::string path = FindInclude(file_, file);
    if (path.empty()) path = file;
    if (type.text == "ICON") {
      out.icons[id] = path;
    } else if (type.text == "BITMAP") {
      out.bitmaps[id] = path;
    } else if (type.text != "RT_MANIFEST") {
      std::string upper;
      for (char c : type.text) upper += static_cast<char>(std::toupper(c));
      out.custom[{upper, id}] = path;
    }
    return true;
  }

  bool ParseDialog(int id, ResourceScript& out) {
    DialogTemplate dialog;
    dialog.id = id;
    if (!Integer(dialog.x) || !Expect(",") || !Integer(dialog.y) || !Expect(",") ||
        !Integer(dialog.cx) || !Expect(",") || !Integer(dialog.cy))
      return false;
    long long value = 0;
    while (!IsWord("BEGIN")) {
      Token t = Next();
      if (t.kind != Token::Identifier) return Fail(file_, t.line, "unexpected '" + t.text + "'");
      if (t.text == "STYLE") {
        if (!Expression(value)) return false;
        dialog.style = static_cast<DWORD>(value);
      } else if (t.text == "EXSTYLE") {
        if (!Expression(value)) return false;
        dialog.exStyle = static_cast<DWORD>(value);
      } else if (t.text == "CAPTION") {
        if (!Text(dialog.caption)) return false;
      } else if (t.text == "FONT") {
        if (!Integer(dialog.fontSize) || !Expect(",") || !Text(dialog.fontName)) return false;
        while (SkipComma()) {
          if (!Expression(value)) return false;
        }
      } else {
        return Fail(file_, t.line, "unsupported dialog statement " + t.text);
      }
    }
    Next();  // BEGIN
    while (!IsWord("END")) {
      Token t = Next();
      if (t.kind != Token::Identifier || t.text != "CONTROL")
        return Fail(file_, t.line, "only CONTROL statements are supported, not " + t.text);
      ControlTemplate control;
      if (!Text(control.text) || !Expect(",") || !Integer(control.id) || !Expect(",") ||
          !Text(control.className) || !Expect(",") || !Expression(value) || !Expect(","))
        return false;
      // CONTROL statements are child windows, visible unless NOT WS_VISIBLE says otherwise.
      control.style = static_cast<DWORD>(value) | WS_CHILD;
      if (!Integer(control.x) || !Expect(",") || !Integer(control.y) || !Expect(",") ||
          !Integer(control.cx) || !Expect(",") || !Integer(control.cy))
        return false;
      if (SkipComma()) {
        if (!Expression(value)) return false;
        control.exStyle = static_cast<DWORD>(value);
      }
      dialog.controls.push_back(control);
    }
    Next();  // END
    out.dialogs[id] = dialog;
    return true;
  }

  std::vector<std::string> includeDirs_;
  std::map<std::string, std::vector<Token>> macros_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  std::string file_;
};

}  // namespace

bool ParseScript(const std::string& path, const std::vector<std::string>& includeDirs,
                 ResourceScript& out, std::string& error) {
  Parser parser(includeDirs);
  bool ok = parser.ParseFile(path, out);
  error = parser.error;
  return ok;
}

const ResourceScript& ProgramResources() {
  static const ResourceScript script = [] {
    ResourceScript parsed;
    std::string error;
    if (!ParseScript(std::string(QM_RESOURCE_DIR) + "/quillmate.rc",
                     {QM_GENERATED_DIR, QM_PACKAGE_DIR}, parsed, error)) {
      // The simulated machine cannot run the program without its resources.
      std::fprintf(stderr, "resource script: %s\n", error.c_str());
      std::abort();
    }
    return parsed;
  }();
  return script;
}

}  // namespace sim::rc
