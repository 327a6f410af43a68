// The phone's answers to logo uploads and downloads (watch thread). A download reply
// writes only through the download target, under its lock, and only while a download
// waits; error replies end whichever transfer waits.
#include "logo/logo_messages.h"
#include "logo/logo_transfer.h"
#include "logo/reply_handlers.h"

namespace pelkor {

namespace {

template <typename Reader>
void FillDownload(const ReplyMessage &reply, Reader read) {
  if (LogoDownloadTarget().Fill([&](LogoBitmap &logo) { read(reply, logo); })) LogoDownloadStatus().Complete(kResultOk);
}

}  // namespace

void HandleLogoUploaded(const ReplyMessage &) { LogoUploadStatus().Complete(kResultOk); }

void HandleLogoUploadRefused(const ReplyMessage &) { LogoUploadStatus().Complete(kResultLogoError); }

void HandleStartupLogoReply(const ReplyMessage &reply) { FillDownload(reply, ReadStartupReply); }

void HandleOperatorLogoReply(const ReplyMessage &reply) { FillDownload(reply, ReadOperatorReply); }

void HandleCallerGroupReply(const ReplyMessage &reply) { FillDownload(reply, ReadCallerGroupReply); }

void HandleLogoDownloadRefused(const ReplyMessage &) { LogoDownloadStatus().Complete(kResultLogoError); }

}  // namespace pelkor
