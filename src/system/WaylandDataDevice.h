#pragma once
// The program's own Wayland data device: on the program's own connection,
// which it takes from Qt's Wayland plug-in (through its native interface),
// on an event queue of its own, so that it sees every offer the compositor
// sends. It is made as the program starts, before the note first has the
// focus: mutter and Weston tell a device made later nothing until the focus
// changes again.
//
// Compositors differ in what a second data device of one program gets:
// - mutter keeps only a program's newest device: there Qt's own device no
//   longer sees drags, and this one takes them (WaylandDropBridge);
// - Weston answers a request only on the offer it made last, which is
//   always Qt's: no device is made there (make() gives none);
// - KWin and wlroots compositors serve every device (and offer data
//   control, which is read instead).

#include <functional>
#include <memory>

class QObject;
class WaylandDropBridge;
class WaylandOffer;
struct wl_data_device;
struct wl_data_device_manager;
struct wl_display;
struct wl_event_queue;
struct wl_registry;

class WaylandDataDevice
{
public:
    // The program's device; none where the program is not on Wayland, the
    // compositor serves only one device of a program, or Qt's plug-in does
    // not hand out its connection.
    static std::unique_ptr<WaylandDataDevice> make();
    ~WaylandDataDevice();
    WaylandDataDevice(const WaylandDataDevice &) = delete;
    WaylandDataDevice &operator=(const WaylandDataDevice &) = delete;

    // Takes in what the compositor sent since the last time.
    void catchUp();
    // Whether the compositor has said what the clipboard holds yet.
    bool offered() const { return m_offered; }
    // Waits at most waitMs, the window painting meanwhile, for that.
    bool waitForOffer(int waitMs) { return waitUntil([this] { return m_offered; }, waitMs); }
    // Waits at most waitMs for ready, taking in what the compositor sends.
    bool waitUntil(const std::function<bool()> &ready, int waitMs);
    // The clipboard's offer; null where the compositor said it holds nothing.
    WaylandOffer *selection() const { return m_selection.get(); }

private:
    WaylandDataDevice() = default;
    bool open();
    void close();

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemoved(void *, wl_registry *, uint32_t) {}

    wl_display *m_display = nullptr;
    wl_event_queue *m_queue = nullptr;
    wl_registry *m_registry = nullptr;
    wl_data_device_manager *m_manager = nullptr;
    wl_data_device *m_device = nullptr;
    bool m_servesOnlyItsLastOffer = false;
    // Offers being introduced, until the event that says what they are for.
    std::unique_ptr<struct IntroducedOffers> m_introduced;
    std::unique_ptr<WaylandOffer> m_selection;
    bool m_offered = false;
    std::unique_ptr<WaylandDropBridge> m_drops;
    std::unique_ptr<QObject> m_life; // its hold on the event loop and the application
};
