#include "dialog_template.h"

#include <QFile>
#include <QString>

#include <cstdlib>
#include <map>
#include <sstream>

namespace {

const std::map<std::string, ControlKind>& Kinds() {
    static const std::map<std::string, ControlKind> kinds = {
        {"LTEXT", ControlKind::Label},           {"CTEXT", ControlKind::CenterLabel},
        {"GROUPBOX", ControlKind::GroupBox},     {"COMBOBOX", ControlKind::ComboBox},
        {"CHECKBOX", ControlKind::CheckBox},     {"RADIOBUTTON", ControlKind::RadioButton},
        {"EDITTEXT", ControlKind::Edit},         {"NUMEDIT", ControlKind::NumberEdit},
        {"UPDOWN", ControlKind::UpDown},         {"TITLE", ControlKind::TitleLine},
        {"PUSHBUTTON", ControlKind::PushButton}, {"DEFPUSHBUTTON", ControlKind::DefPushButton},
        {"LISTBOX", ControlKind::ListBox},       {"ICON", ControlKind::Icon},
    };
    return kinds;
}

// Splits a line into words; a double-quoted text is one word ("" inside stands for ").
bool SplitWords(const std::string& line, std::vector<std::string>& words, bool& quotedLast) {
    words.clear();
    quotedLast = false;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            std::string text;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        text += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                text += line[i++];
            }
            if (!closed) return false;
            words.push_back(text);
            quotedLast = true;
            continue;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        words.push_back(line.substr(start, i - start));
        quotedLast = false;
    }
    return true;
}

bool ToInt(const std::string& word, int& out) {
    if (word.empty()) return false;
    char* end = nullptr;
    long value = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || value < -100000 || value > 100000) return false;
    out = static_cast<int>(value);
    return true;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

bool ParseDialogTemplate(const std::string& text, DialogTemplate& out, std::string& error) {
    out = DialogTemplate();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool haveDialog = false;
    std::vector<std::string> words;
    while (std::getline(in, line)) {
        ++lineNo;
        bool quotedLast = false;
        if (!SplitWords(line, words, quotedLast)) {
            error = "line " + std::to_string(lineNo) + ": unterminated text";
            return false;
        }
        if (words.empty() || words[0][0] == '#') continue;
        std::string quoted;
        if (quotedLast) {
            quoted = Unescape(words.back());
            words.pop_back();
        }
        if (words[0] == "DIALOG") {
            if (haveDialog || words.size() != 4 || !ToInt(words[1], out.Id) || !ToInt(words[2], out.Width) ||
                !ToInt(words[3], out.Height)) {
                error = "line " + std::to_string(lineNo) + ": expected DIALOG <id> <width> <height>";
                return false;
            }
            out.Caption = quoted;
            haveDialog = true;
            continue;
        }
        auto kind = Kinds().find(words[0]);
        if (!haveDialog || kind == Kinds().end() || words.size() < 6) {
            error = "line " + std::to_string(lineNo) +
                    ": expected <KIND> <id> <x> <y> <width> <height> after DIALOG";
            return false;
        }
        ControlTemplate control;
        control.Kind = kind->second;
        control.Text = quoted;
        if (!ToInt(words[1], control.Id) || !ToInt(words[2], control.X) || !ToInt(words[3], control.Y) ||
            !ToInt(words[4], control.Width) || !ToInt(words[5], control.Height) || control.Width < 0 ||
            control.Height < 0) {
            error = "line " + std::to_string(lineNo) + ": bad number";
            return false;
        }
        for (size_t i = 6; i < words.size(); ++i) {
            const std::string& flag = words[i];
            if (flag == "DISABLED")
                control.Disabled = true;
            else if (flag == "GROUP")
                control.Group = true;
            else if (flag == "NOTABSTOP")
                control.NoTabStop = true;
            else if (flag == "NOTHOUSANDS")
                control.NoThousands = true;
            else {
                error = "line " + std::to_string(lineNo) + ": unknown flag " + flag;
                return false;
            }
        }
        out.Controls.push_back(control);
    }
    if (!haveDialog) {
        error = "no DIALOG line";
        return false;
    }
    return true;
}

bool LoadDialogTemplate(int id, DialogTemplate& out, std::string& error) {
    // Pages are rebuilt on every tree selection; each template is read and parsed once.
    static std::map<int, DialogTemplate> parsed;
    auto cached = parsed.find(id);
    if (cached != parsed.end()) {
        out = cached->second;
        return true;
    }
    for (const char* prefix : {":/templates/page_", ":/templates/dialog_"}) {
        QFile file(QString::fromUtf8(prefix) + QString::number(id) + QStringLiteral(".dlg"));
        if (!file.open(QIODevice::ReadOnly)) continue;
        QByteArray bytes = file.readAll();
        if (!ParseDialogTemplate(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), out,
                                 error)) {
            error = file.fileName().toStdString() + ": " + error;
            return false;
        }
        if (out.Id != id) {
            error = file.fileName().toStdString() + ": holds template " + std::to_string(out.Id);
            return false;
        }
        parsed[id] = out;
        return true;
    }
    error = "no template " + std::to_string(id);
    return false;
}
