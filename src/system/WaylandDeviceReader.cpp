#include "WaylandDeviceReader.h"

#include "WaylandDataDevice.h"
#include "WaylandOffer.h"

#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

namespace sys {

using SelectionTransfer::Outcome;

namespace {

// How long the note waits for the compositor to say what the clipboard holds.
constexpr int OfferWaitMs = 2000;

} // namespace

std::unique_ptr<ClipboardReader> WaylandDeviceReader::open()
{
    std::unique_ptr<WaylandDataDevice> device = WaylandDataDevice::make();
    if (!device)
        return nullptr;
    return std::unique_ptr<ClipboardReader>(new WaylandDeviceReader(std::move(device)));
}

WaylandDeviceReader::WaylandDeviceReader(std::unique_ptr<WaylandDataDevice> device)
    : m_device(std::move(device))
{
}

WaylandDeviceReader::~WaylandDeviceReader() = default;

Outcome WaylandDeviceReader::read(QString *text)
{
    if (!waitForKeyboardFocus())
        return Outcome::NotFocused;
    m_device->catchUp();
    if (!m_device->offered() && !m_device->waitForOffer(OfferWaitMs))
        return Outcome::NotFocused;
    // No offer: the compositor said the clipboard is empty.
    WaylandOffer *offer = m_device->selection();
    const Outcome outcome = WaylandText::readAnswer(offer ? offer->askForText() : WaylandText::Request(), text);
    if (outcome == Outcome::Text && text->isEmpty())
        return m_qt.read(text);
    return outcome;
}

bool WaylandDeviceReader::waitUntilReadable(QWidget *window)
{
    // The compositor tells the program what the clipboard holds as it gives
    // it the keyboard focus; Qt takes in the focus on its own.
    QPointer<QWidget> note = window;
    return m_device->waitUntil([&] { return !note || (m_device->offered() && note->isActiveWindow()); }, OfferWaitMs)
        && note;
}

} // namespace sys
