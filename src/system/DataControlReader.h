#pragma once
// The reader through the compositor's data control (the wlroots protocol
// that KWin and wlroots compositors such as sway offer; what wl-paste uses):
// the clipboard is read whatever window has the focus, on a Wayland
// connection of the reader's own, so the same reader serves a note on
// Wayland and one through XWayland beside the compositor (DISPLAY and
// WAYLAND_DISPLAY both set), which then need not wait for the compositor to
// hand the clipboard to X. What the compositor says of the clipboard is
// taken in as it comes, and brought up to date before each reading; the
// holder is asked afresh each time, the text read on a thread with progress.

#include "ClipboardReader.h"

#include <QByteArrayList>

class QObject;
struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_offer_v1;

namespace sys {

class DataControlReader final : public ClipboardReader
{
public:
    // Where the compositor offers data control; null elsewhere.
    static std::unique_ptr<ClipboardReader> open();
    ~DataControlReader() override;

    SelectionTransfer::Outcome read(QString *text) override;

private:
    DataControlReader() = default;
    bool connect();
    void close();
    // Takes in what the compositor has sent, without waiting.
    void takeIn();
    // What the compositor says until now: false where it did not answer in waitMs.
    bool catchUp(int waitMs);

    struct Offer
    {
        zwlr_data_control_offer_v1 *offer = nullptr;
        QByteArrayList types;
    };
    static void offered(void *data, zwlr_data_control_offer_v1 *offer, const char *type);
    static void dataOffer(void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer);
    static void selection(void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer);
    static void finished(void *data, zwlr_data_control_device_v1 *);
    void forget(Offer &offer);

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    zwlr_data_control_manager_v1 *m_manager = nullptr;
    zwlr_data_control_device_v1 *m_device = nullptr;
    Offer m_introduced; // the offer being introduced, until the selection names it
    Offer m_selection;  // what the clipboard holds; no offer where the compositor said nothing
    bool m_finished = false;
    std::unique_ptr<QObject> m_notifier; // takes in what comes while the program runs
};

} // namespace sys
