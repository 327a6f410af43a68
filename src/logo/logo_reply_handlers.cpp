// The phone's answers to logo uploads and downloads (watch thread). A download reply
// writes only through the download target, under its lock, and only while a download
// waits; error replies end whichever transfer waits.
#include "logo/logo_messages.h"
#include "logo/logo_transfer.h"
#include "logo/reply_handlers.h"

namespace pelkor {

namespace {

template <typename Reader>
void fillDownload(const ReplyMessage &reply, Reader read) {
  if (logoDownloadTarget().Fill([&](LogoBitmap &logo) { read(reply, logo); })) logoDownloadStatus().Complete(kResultOk);
}

}  // namespace

void HandleLogoUploaded(const ReplyMessage &) { logoUploadStatus().Complete(kResultOk); }

void HandleLogoUploadRefused(const ReplyMessage &) { logoUploadStatus().Complete(kResultLogoError); }

void HandleStartupLogoReply(const ReplyMessage &reply) { fillDownload(reply, readStartupReply); }

void HandleOperatorLogoReply(const ReplyMessage &reply) { fillDownload(reply, readOperatorReply); }

void HandleCallerGroupReply(const ReplyMessage &reply) { fillDownload(reply, readCallerGroupReply); }

void HandleLogoDownloadRefused(const ReplyMessage &) { logoDownloadStatus().Complete(kResultLogoError); }

}  // namespace pelkor
