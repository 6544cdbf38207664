// The layer over the system on its own: which platform the program starts
// on, and the clipboard's readers against holders that answer well, late,
// wrongly or for ever (on an X server of the test's own, and through the
// pipe a Wayland holder writes to).

#include "system/Platform.h"
#include "system/SelectionTransfer.h"
#include "system/X11Selection.h"

#include <QTest>
#include <QThread>

#include <xcb/xcb.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using SelectionTransfer::Outcome;

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

// Another program on the test's X server that takes the clipboard and
// answers a request for its text as told.
class Holder
{
public:
    enum class Answer { Text, Silent, WrongType, EndlessParts };

    Holder(Answer answer, QByteArray text = {})
        : m_answer(answer)
        , m_text(std::move(text))
    {
        m_c = xcb_connect(nullptr, nullptr);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(m_c, m_window, atom(m_c, "CLIPBOARD"), XCB_CURRENT_TIME);
        m_utf8 = atom(m_c, "UTF8_STRING");
        m_incr = atom(m_c, "INCR");
        xcb_flush(m_c);
        m_thread = QThread::create([this] { serve(); });
        m_thread->start();
    }
    ~Holder()
    {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
        xcb_disconnect(m_c);
    }

private:
    void serve()
    {
        xcb_window_t requestor = 0;
        xcb_atom_t property = 0;
        while (!m_stop) {
            pollfd ready{xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&ready, 1, 20);
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
                const int type = event->response_type & 0x7F;
                if (type == XCB_SELECTION_REQUEST) {
                    const auto *request = reinterpret_cast<xcb_selection_request_event_t *>(event);
                    requestor = request->requestor;
                    property = request->property;
                    answer(*request);
                } else if (type == XCB_PROPERTY_NOTIFY && m_answer == Answer::EndlessParts) {
                    const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event);
                    if (change->window == requestor && change->atom == property
                        && change->state == XCB_PROPERTY_DELETE) {
                        const QByteArray part(64 * 1024, 'p');
                        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, requestor, property, m_utf8, 8,
                                            uint32_t(part.size()), part.constData());
                        xcb_flush(m_c);
                    }
                }
                std::free(event);
            }
        }
    }

    void answer(const xcb_selection_request_event_t &request)
    {
        if (m_answer == Answer::Silent)
            return;
        if (m_answer == Answer::Text) {
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, m_utf8, 8,
                                uint32_t(m_text.size()), m_text.constData());
        } else if (m_answer == Answer::WrongType) {
            const uint32_t numbers[] = {1, 2, 3};
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, XCB_ATOM_INTEGER, 32,
                                3, numbers);
        } else {
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_c, request.requestor, XCB_CW_EVENT_MASK, &events);
            const uint32_t size = 1 << 30;
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, m_incr, 32, 1,
                                &size);
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = request.property;
        notify.time = request.time;
        xcb_send_event(m_c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&notify));
        xcb_flush(m_c);
    }

    Answer m_answer;
    QByteArray m_text;
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_utf8 = 0;
    xcb_atom_t m_incr = 0;
    std::atomic<bool> m_stop{false};
    QThread *m_thread = nullptr;
};

} // namespace

class tst_System : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void platformIsChosenByWhatAnswers();
    void x11ReaderTellsEachHolderApart();
    void pipeReaderBoundsEveryWait();

private:
    pid_t m_xserver = 0;
};

void tst_System::initTestCase()
{
    // A holder that stops writing into a closed pipe is not to end the test.
    std::signal(SIGPIPE, SIG_IGN);
    // An X server of the test's own, which it stops again by its process id.
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    m_xserver = ::fork();
    if (m_xserver == 0) {
        ::close(ends[0]);
        const QByteArray fd = QByteArray::number(ends[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-nolisten", "tcp", "-noreset", "-screen", "0",
                 "320x200x24",
                 static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(ends[1]);
    QByteArray number;
    char c = 0;
    while (::read(ends[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(ends[0]);
    if (number.isEmpty()) {
        ::waitpid(m_xserver, nullptr, 0);
        m_xserver = 0;
        return; // no Xvfb: the X11 reader is not tried (said there)
    }
    qputenv("DISPLAY", ':' + number);
}

void tst_System::cleanupTestCase()
{
    if (m_xserver > 0) {
        ::kill(m_xserver, SIGTERM); // it removes its socket and lock itself
        ::waitpid(m_xserver, nullptr, 0);
    }
}

void tst_System::platformIsChosenByWhatAnswers()
{
    using Platform::Situation;
    auto decide = [](Situation s) { return Platform::decide(s); };
    Situation x11;
    x11.display = QStringLiteral(":0");
    x11.hasX11Support = x11.xServerAnswers = true;
    QCOMPARE(decide(x11).platform, QStringLiteral("xcb"));

    // Both there: X first, even with Wayland at hand.
    Situation both = x11;
    both.waylandDisplay = QStringLiteral("wayland-0");
    both.hasWaylandSupport = both.compositorAnswers = true;
    QCOMPARE(decide(both).platform, QStringLiteral("xcb"));

    // A DISPLAY that names no server, beside a compositor that answers.
    Situation stale = both;
    stale.xServerAnswers = false;
    QCOMPARE(decide(stale).platform, QStringLiteral("wayland"));
    QVERIFY(decide(stale).missing.isEmpty());

    // Nothing that can start: each reason, in one line.
    Situation none = stale;
    none.compositorAnswers = false;
    QCOMPARE(decide(none).missing, QStringLiteral("no display could be opened: no X server answers on DISPLAY=:0; "
                                                  "no Wayland compositor answers on WAYLAND_DISPLAY=wayland-0"));
    Situation noPlugin;
    noPlugin.waylandDisplay = QStringLiteral("wayland-0");
    noPlugin.compositorAnswers = true;
    QVERIFY(decide(noPlugin).missing.contains(QLatin1String("install qt6-wayland")));
    QVERIFY(decide(Situation()).missing.startsWith(QLatin1String("no display available")));

    // A platform the user named is theirs, where it can be opened; one that
    // cannot is said in one line, where Qt would abort.
    Situation named = both;
    named.platformNamed = true;
    for (const char *platform : {"xcb", "wayland", "wayland-egl;xcb", "offscreen", "xcb:no-glx"}) {
        named.namedPlatform = QLatin1String(platform);
        QVERIFY(decide(named).platform.isEmpty() && decide(named).missing.isEmpty());
    }
    named.xServerAnswers = named.compositorAnswers = false;
    named.namedPlatform = QStringLiteral("xcb");
    QCOMPARE(decide(named).missing, QStringLiteral("QT_QPA_PLATFORM=xcb cannot be opened: no X server answers on DISPLAY=:0"));
    named.namedPlatform = QStringLiteral("wayland;xcb");
    QCOMPARE(decide(named).missing, QStringLiteral("QT_QPA_PLATFORM=wayland;xcb cannot be opened: no Wayland compositor "
                                                   "answers on WAYLAND_DISPLAY=wayland-0; no X server answers on DISPLAY=:0"));
    named.namedPlatform = QStringLiteral("minimal");
    QVERIFY(decide(named).missing.isEmpty());
}

void tst_System::x11ReaderTellsEachHolderApart()
{
    if (m_xserver <= 0)
        QSKIP("Xvfb is not installed: the X11 reader is not tried");
    constexpr int QuietMs = 300;
    QString text;

    QCOMPARE(X11Selection::read("CLIPBOARD", QuietMs, &text), Outcome::NoText); // nobody holds it

    {
        Holder holder(Holder::Answer::Text, QByteArray("gr\xC3\xBC\xC3\x9F" "e"));
        QCOMPARE(X11Selection::read("CLIPBOARD", QuietMs, &text), Outcome::Text);
        QCOMPARE(text, QString::fromUtf8("grüße"));
    }
    {
        Holder holder(Holder::Answer::Silent);
        QCOMPARE(X11Selection::read("CLIPBOARD", QuietMs, &text), Outcome::NoAnswer);
        // Asked again, it is still said.
        QCOMPARE(X11Selection::read("CLIPBOARD", QuietMs, &text), Outcome::NoAnswer);
    }
    {
        Holder holder(Holder::Answer::WrongType);
        QCOMPARE(X11Selection::read("CLIPBOARD", QuietMs, &text), Outcome::NotText);
    }
    {
        // Parts for ever, each within the quiet time: the limit stops it.
        Holder holder(Holder::Answer::EndlessParts);
        X11Selection::Control control;
        control.limit = 4 << 20;
        QCOMPARE(X11Selection::read("CLIPBOARD", QuietMs, &text, &control), Outcome::TooLarge);
        QVERIFY(control.received > control.limit);
    }
    {
        Holder holder(Holder::Answer::Silent);
        X11Selection::Control control;
        control.cancel = true;
        QCOMPARE(X11Selection::read("CLIPBOARD", 60000, &text, &control), Outcome::Cancelled);
    }
}

void tst_System::pipeReaderBoundsEveryWait()
{
    // What a Wayland holder writes to: a pipe, here with the test as the holder.
    auto readWith = [](const std::function<void(int)> &holder, SelectionTransfer::Control *control,
                       QByteArray *bytes) {
        int ends[2];
        if (::pipe(ends) != 0)
            return Outcome::Unavailable;
        QThread *writer = QThread::create([holder, fd = ends[1]] { holder(fd); });
        writer->start();
        const Outcome outcome = SelectionTransfer::readPipe(ends[0], 300, control, bytes);
        if (control)
            control->cancel = true; // tells an endless holder to stop
        ::close(ends[0]);
        writer->wait();
        delete writer;
        return outcome;
    };
    QByteArray bytes;
    // A holder that answers, and one that closes at once: an empty text.
    QCOMPARE(readWith([](int fd) { (void)::write(fd, "abc", 3); ::close(fd); }, nullptr, &bytes), Outcome::Text);
    QCOMPARE(bytes, QByteArray("abc"));
    bytes.clear();
    QCOMPARE(readWith([](int fd) { ::close(fd); }, nullptr, &bytes), Outcome::Text);
    QVERIFY(bytes.isEmpty());

    // One that stalls, with its end of the pipe open.
    SelectionTransfer::Control stalled;
    QCOMPARE(readWith([&stalled](int fd) {
                 while (!stalled.cancel)
                     QThread::msleep(10);
                 ::close(fd);
             }, &stalled, &bytes), Outcome::NoAnswer);

    // One that never ends: stopped at the limit.
    SelectionTransfer::Control endless;
    endless.limit = 1 << 20;
    bytes.clear();
    QCOMPARE(readWith([&endless](int fd) {
                 const QByteArray part(4096, 'e');
                 while (!endless.cancel && ::write(fd, part.constData(), size_t(part.size())) > 0) {
                 }
                 ::close(fd);
             }, &endless, &bytes), Outcome::TooLarge);
}

QTEST_GUILESS_MAIN(tst_System)
#include "tst_system.moc"
