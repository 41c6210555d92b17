#pragma once
// The page refresh operations the Link page runs, one per page operation, so the Link page
// knows the order and not the pages. The main window fills them from the real pages; tests
// fill them with recorders.
#include <functional>

class CDialog_Video;
class CDialog_Audio;
class CDialog_EDID;
class CDialog_Network;
class CDialog_System;

struct PageRefreshers {
    std::function<void()> videoOutputs;
    std::function<void()> audioInputs;
    std::function<void()> audioOutputs;
    std::function<void()> edidInputs;
    std::function<void()> network;
    std::function<void()> system;

    // The pages that show the status block, in their fixed order.
    void RefreshStatusPages() const;
    void RefreshNetworkPage() const;
    void RefreshSystemPage() const;
    // All of them once, as after a complete acquisition.
    void RefreshAll() const;
};

PageRefreshers RefreshersFor(CDialog_Video& video, CDialog_Audio& audio, CDialog_EDID& edid,
                             CDialog_Network& network, CDialog_System& system);
