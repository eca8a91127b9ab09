// Owning a TitleHost and moving titles between it and files, with a reason on every failure.
// Loading goes through the library's file operation and, when it refuses, reads the file again
// to say why. Saving takes the document from the library's buffer operation and writes it with
// SafeFile, so a failed save names the file and the system's reason and leaves the old file whole.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "player/Result.h"
#include "player/TitleMeta.h"
#include "qel/QEL_Title2.h"

namespace qeltitle {

struct HostDeleter {
    void operator()(qel::ITitleHost* host) const { ReleaseTitleHost(host); }
};
using HostPtr = std::unique_ptr<qel::ITitleHost, HostDeleter>;

// A new TitleHost, or the message that the library could not make one.
Expected<HostPtr> NewHost();

// Loads a title file. A failure says why: the file is missing or unreadable, is not well-formed
// XML (with the position), is not a title document, or the library refused it.
Status LoadTitle(qel::ITitleHost& host, const std::string& path);
// The same, and the title's length and design frame (TitleMeta.h); `warning` names a value of
// them that is not valid and was ignored (empty when there is none).
Status LoadTitle(qel::ITitleHost& host, const std::string& path, TitleMeta& meta, std::string& warning);
// Saves the title as the library's XML file format (UTF-16 with byte-order mark), replacing
// `path` only once the new file is complete on disk.
// With `meta`, its length and design frame are written as attributes of the root element.
Status SaveTitle(qel::ITitleHost& host, const std::string& path, const TitleMeta* meta = nullptr);
// The bytes SaveTitle writes (with `meta`, its attributes on the root element).
Expected<std::string> TitleDocument(qel::ITitleHost& host, const TitleMeta* meta = nullptr);
// Loads a title document held in memory (UTF-16 with byte-order mark as saved, or UTF-8);
// `name` names it in the message.
Status LoadTitleText(qel::ITitleHost& host, std::string_view bytes, const std::string& name);
// Loads an effect string table (root <QelDspInfo>); a failure names the file and why.
Status LoadEffectStrings(qel::ITitleHost& host, const std::string& path);
// The English effect string table that is installed (and built) beside libQEL_Title2.so.
constexpr const char* kEffectStringsFile = "QelDspInfo.xml";
// Its path, found beside the library this program runs with; empty when it is not there.
std::string DefaultEffectStringsPath();
// The table that `effects` and `gallery` show: the named one, none (display keys) when keysOnly,
// else the installed one when there is one.
Status LoadChosenEffectStrings(qel::ITitleHost& host, const std::optional<std::string>& named, bool keysOnly);

// Message text for a library status code.
std::string StatusText(qel::HRESULT status);

}  // namespace qeltitle
