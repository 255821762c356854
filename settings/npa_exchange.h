// The settings exchange with the printer, built on the Dvc library's five
// operations: one batched query, a write of NAME:VALUE items between offline
// and online, and the release of everything at exit.
#pragma once

#include "npa_catalogue.h"

#include <string>
#include <vector>

// Results passed on to the application (besides the library's own).
inline constexpr int kQueryWriteOnly = 1; // values hold the catalogue's defaults
inline constexpr int kOpenFailed = -1;
inline constexpr int kQueryFailed = -2;
inline constexpr int kWriteFailed = -3;
inline constexpr int kChangeListFailed = -10;
// The write went through the library, but the system could not pass it on to the port
// (the write-only workaround's copy at the close, whose result the library only logs).
inline constexpr int kNotDelivered = -11;

// Four upper-case hex digits of a setting identifier -> its NPA name; kept across queries.
extern StringMap NpaSettingIds;

// Reply buffer size handed to the library for the query.
inline constexpr uint32_t kQueryReplySize = 2048;
// Size of the single-setting reply image rebuilt for each reply item.
inline constexpr size_t kReplyImageSize = 50;

// Two upper-case hex digits per byte, no separator.
void HexString(const unsigned char* bytes, size_t count, std::string& out);
std::string HexString(const unsigned char* bytes, size_t count);

// The value text of one setting from a single-setting reply image of `length` bytes.
std::string DecodeNpaValue(const std::string& name, const unsigned char* image, size_t length);

// 0: read from the printer; 1: write-only, values are the starred defaults;
// -1: open failed; -2: query failed. The port is left open.
int QueryPrinterSettings(const char* port, StringMap& values);

// 0: all sent; -1: open failed; -3: offline refused, an item matched no command, or a send failed.
int WritePrinterSettings(const char* port, const std::vector<std::string>& changes);

// WritePrinterSettings into a command file that is replaced only by a complete new one:
// written beside it under a temporary name, then renamed over it. On failure the old
// file is as it was. A port name ("LPT...", "USB...") is written to directly.
int SaveSettingsFile(const char* path, const std::vector<std::string>& changes);

// Frees the tables, closes the port and shuts the library down; returns DvcClosePort's result.
int ShutdownPrinterLink(const char* port);

// Stores the value of every item of a query reply (`replyLength` bytes) in `values`.
void DecodeQueryReply(const unsigned char* reply, uint32_t replyLength, StringMap& values);

// The batched query command for the current read table (also fills NpaSettingIds).
std::vector<unsigned char> BuildQueryCommand();
