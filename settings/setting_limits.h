// What the catalogue lets each setting hold: one of its value names, a number
// within the range its page allows (and its command's data field holds), or a
// text that fits its length in code-page-949 bytes. Used wherever values come
// from outside the pages: the console's arguments, profiles, backups.
#pragma once

#include <map>
#include <string>

enum class MisfitKind {
    None,        // the value can be written
    UnknownName, // the catalogue has no setting of that name
    BadValue,    // not one of the setting's value names
    BadNumber,   // a numeric setting given something that is not a decimal number
    OutOfRange,  // a number outside the setting's range
    TooLong,     // a text longer than the setting holds
};

struct Misfit {
    MisfitKind Kind = MisfitKind::None;
    std::string Why; // English, for the console and logs; "" when Kind is None
};

// Reads the catalogue's tables and every page's limits once, at construction
// (so make one per batch of values, after the catalogue in use was chosen).
class SettingValueCheck {
  public:
    SettingValueCheck();
    ~SettingValueCheck();
    SettingValueCheck(const SettingValueCheck&) = delete;
    SettingValueCheck& operator=(const SettingValueCheck&) = delete;

    // `name` upper case, `value` in code page 949.
    Misfit Check(const std::string& name, const std::string& value) const;

    struct Limits; // one setting's, from its page's section

  private:
    std::map<std::string, Limits>* PageLimits_;
};
