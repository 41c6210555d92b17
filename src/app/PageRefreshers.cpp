#include "PageRefreshers.h"

#include "CDialog_Audio.h"
#include "CDialog_EDID.h"
#include "CDialog_Network.h"
#include "CDialog_System.h"
#include "CDialog_Video.h"

namespace {
void run(const std::function<void()>& refresh)
{
    if (refresh)
        refresh();
}
} // namespace

void PageRefreshers::RefreshStatusPages() const
{
    run(videoOutputs);
    run(audioInputs);
    run(audioOutputs);
    run(edidInputs);
}

void PageRefreshers::RefreshNetworkPage() const { run(network); }

void PageRefreshers::RefreshSystemPage() const { run(system); }

void PageRefreshers::RefreshAll() const
{
    RefreshStatusPages();
    RefreshNetworkPage();
    RefreshSystemPage();
}

PageRefreshers RefreshersFor(CDialog_Video& video, CDialog_Audio& audio, CDialog_EDID& edid,
                             CDialog_Network& network, CDialog_System& system)
{
    PageRefreshers r;
    r.videoOutputs = [&video] { video.RefreshVideoOutputs(); };
    r.audioInputs = [&audio] { audio.RefreshAudioInputs(); };
    r.audioOutputs = [&audio] { audio.RefreshAudioOutputs(); };
    r.edidInputs = [&edid] { edid.RefreshEdidInputs(); };
    r.network = [&network] { network.RefreshFromStatus(); };
    r.system = [&system] { system.RefreshFromStatus(); };
    return r;
}
