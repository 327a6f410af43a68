// The phone's answers to logo uploads and downloads (watch thread). A download reply
// writes only through the download target, under its lock, and only while a download
// waits; error replies end whichever transfer waits.
#include "logo/logo_messages.h"
#include "logo/logo_module.h"
#include "logo/logo_transfer.h"
#include "logo/reply_routes.h"

namespace pelkor {

namespace {

template <typename Reader>
void FillDownload(const ReplyMessage &reply, Reader read) {
  if (LogoTransfers().downloadTarget.Fill([&](LogoBitmap &logo) { read(reply, logo); }))
    LogoTransfers().downloadCell.Complete(kResultOk);
}

void HandleLogoUploaded(const ReplyMessage &) { LogoTransfers().uploadCell.Complete(kResultOk); }

void HandleLogoUploadRefused(const ReplyMessage &) { LogoTransfers().uploadCell.Complete(kResultLogoError); }

void HandleStartupLogoReply(const ReplyMessage &reply) { FillDownload(reply, ReadStartupReply); }

void HandleOperatorLogoReply(const ReplyMessage &reply) { FillDownload(reply, ReadOperatorReply); }

void HandleCallerGroupReply(const ReplyMessage &reply) { FillDownload(reply, ReadCallerGroupReply); }

void HandleLogoDownloadRefused(const ReplyMessage &) { LogoTransfers().downloadCell.Complete(kResultLogoError); }

// Whether the request each reply answers is waiting for it.
bool DownloadWaits() { return LogoTransfers().downloadTarget.Attached(); }
bool DownloadErrorWaits() { return LogoTransfers().downloadCell.Holds(kPending); }
bool UploadWaits() { return LogoTransfers().uploadCell.Holds(kPending); }

// Types 0x05 (start-up and operator logos) and 0x03 (caller groups). A download reply
// needs the waiting record; an error ends a waiting download with or without one.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x05, 3, 0x17, HandleStartupLogoReply, DownloadWaits},
    {0x05, 3, 0x19, HandleLogoUploaded, UploadWaits},
    {0x05, 3, 0x31, HandleLogoUploaded, UploadWaits},
    {0x05, 3, 0x32, HandleLogoUploadRefused, UploadWaits},
    {0x05, 3, 0x34, HandleOperatorLogoReply, DownloadWaits},
    {0x05, 3, 0x35, HandleLogoDownloadRefused, DownloadErrorWaits},
    {0x03, 3, 0x11, HandleCallerGroupReply, DownloadWaits},
    {0x03, 3, 0x12, HandleLogoDownloadRefused, DownloadErrorWaits},
    {0x03, 3, 0x14, HandleLogoUploaded, UploadWaits},
    {0x03, 3, 0x15, HandleLogoUploadRefused, UploadWaits},
};

}  // namespace

const ReplyRouteTable kLogoReplies = RouteTable(kRows);

namespace {
const ReplyRouteTable *const kTables[] = {&kLogoReplies};
}  // namespace

const FamilyModule kLogoModule = {kTables, sizeof kTables / sizeof kTables[0], nullptr, nullptr, nullptr};

}  // namespace pelkor
