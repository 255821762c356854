// The parallel read thread: woken once per waiting request, it assembles the
// printer's packets into one reply, drops what does not answer the request and
// hands the outcome over in slot 0.
#include "dvc_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

#define PAR_FIRST_READ_PAUSE_MS 385
#define PAR_EMPTY_READS_TOLERATED 10
#define PAR_BODY_STALL_MS 10000
// Back-off between failing reads, and how long a port may fail before the
// thread gives the request up and ends (a fresh thread starts on the next one).
#define PAR_BACKOFF_FIRST_MS 10
#define PAR_BACKOFF_MAX_MS 640
#define PAR_FAILING_PORT_MS RESPONSE_WAIT_TIMEOUT
// An empty read that came back faster than this did not wait for the port's
// timeout; pausing keeps a port without timeouts from spinning the thread.
#define PAR_EMPTY_READ_FLOOR_MS 5

namespace {

enum class Served {
    Done,     // an outcome was handed over
    Exit,     // nobody expects replies any more
    PortDead, // the port failed for good
    Moved,    // the newest request reads another port (the port was reopened)
};

struct Request {
    HANDLE port;
    uint8_t command;
    uint32_t tag;
};

// Ends the thread when no reply is expected any more. The handle is cleared
// under G_hTransactionInfo as the thread's last touch of the library's objects.
bool EndIfNotExpected(bool logExit) {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    if (bExpectingResponse) {
        ReleaseMutex(G_hTransactionInfo);
        return false;
    }
    if (logExit) DvcLog(DVC_LOG_STEPS, "ParReadPort(), no one is expecting a response, exiting...\n");
    CloseHandle(G_hReadThread);
    G_hReadThread = nullptr;
    SetEvent(G_hReadThreadEnded);
    ReleaseMutex(G_hTransactionInfo);
    return true;
}

// Ends the thread after its port failed for good, unless a newer request is
// already on its way (it would find G_hReadThread set and rely on this thread).
bool EndAfterDeadPort(uint32_t tag) {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    if (bExpectingResponse && G_ParRequestTag != tag) {
        ReleaseMutex(G_hTransactionInfo);
        return false;
    }
    DvcLog(DVC_LOG_STEPS, "ParReadPort() - the port keeps failing, read thread ends\n");
    CloseHandle(G_hReadThread);
    G_hReadThread = nullptr;
    SetEvent(G_hReadThreadEnded);
    ReleaseMutex(G_hTransactionInfo);
    return true;
}

Request NewestRequest() {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    Request request{G_ParRequestPort, ucCommand, G_ParRequestTag};
    ReleaseMutex(G_hTransactionInfo);
    return request;
}

// A caller that gave up leaves the thread reading; when a newer request comes
// meanwhile, what is read from then on is judged against it, so no byte of its
// reply is lost to the abandoned one. Returns Exit when nobody expects replies,
// Moved when the newest request reads another port, Done otherwise.
Served FollowNewest(Request& request) {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool expecting = bExpectingResponse;
    Request newest{G_ParRequestPort, ucCommand, G_ParRequestTag};
    ReleaseMutex(G_hTransactionInfo);
    if (!expecting) return Served::Exit;
    if (newest.tag == request.tag) return Served::Done;
    DvcLog(DVC_LOG_STEPS, "ParReadPort() - a newer request came (%02X), reading for it\n", newest.command);
    bool moved = newest.port != request.port;
    request = newest;
    return moved ? Served::Moved : Served::Done;
}

void Deliver(const Request& request, int32_t outcome, const unsigned char* header,
             const std::vector<unsigned char>& data) {
    WaitForSingleObject(G_hResponseMutex, INFINITE);
    if (outcome > 0) {
        std::memcpy(G_ResponseStore[0], header, 5);
        if (!data.empty()) std::memcpy(G_ResponseStore[0] + 5, data.data(), data.size());
    }
    G_ResponseLen[0] = outcome;
    G_ParResponseTag = request.tag;
    ReleaseMutex(G_hResponseMutex);
    ReleaseSemaphore(G_hSemResponse, 1, nullptr);
}

// Failing reads are retried after a growing pause; a port that fails for the
// whole of a caller's wait is given up.
class FailurePacer {
  public:
    void Succeeded() {
        failingSince_ = 0;
        pause_ = 0;
    }
    // Returns false once the port has failed for too long.
    bool Failed() {
        DWORD now = GetTickCount();
        if (pause_ == 0) {
            failingSince_ = now;
            pause_ = PAR_BACKOFF_FIRST_MS;
        } else {
            pause_ = std::min<DWORD>(pause_ * 2, PAR_BACKOFF_MAX_MS);
        }
        if (GetLastError() == ERROR_INVALID_HANDLE || now - failingSince_ >= PAR_FAILING_PORT_MS)
            return false;
        Sleep(pause_);
        return true;
    }

  private:
    DWORD failingSince_ = 0;
    DWORD pause_ = 0;
};

void PaceEmptyRead(DWORD readStart) {
    if (GetTickCount() - readStart < PAR_EMPTY_READ_FLOOR_MS) Sleep(PAR_EMPTY_READ_FLOOR_MS);
}

enum class Header { Complete, Empty, Dropped, Failed };

// Reads 3 header bytes, finding an SOP that follows one or two stray bytes.
Header ReadHeader(HANDLE port, unsigned char* header) {
    DWORD got = 0;
    DWORD readStart = GetTickCount();
    BOOL ok = ParNT95ReadFile(port, header, 3, &got, nullptr);
    if (!ok) return Header::Failed;
    if (got == 0) {
        PaceEmptyRead(readStart);
        return Header::Empty;
    }
    DWORD have = got;
    if (header[0] != 0xA5) {
        DvcLog(DVC_LOG_HEX, "got something, but SOP is not first byte:\n");
        DvcLogHex(header, static_cast<uint16_t>(got));
        if (got >= 2 && header[1] == 0xA5) {
            DvcLog(DVC_LOG_HEX, "SOP is 2nd byte, shifting\n");
            header[0] = header[1];
            header[1] = header[2];
            have = got - 1;
        } else if (got == 3 && header[2] == 0xA5) {
            DvcLog(DVC_LOG_HEX, "SOP is 3rd byte, shifting\n");
            header[0] = header[2];
            have = 1;
        } else {
            return Header::Dropped;
        }
    }
    if (have < 3) {
        DWORD more = 0;
        ok = ParNT95ReadFile(port, header + have, 3 - have, &more, nullptr);
        if (have + more < 3) return Header::Dropped;
    }
    return Header::Complete;
}

// Reads a packet body; a body that stalls for 10 s is taken as it stands.
Served ReadBody(Request& request, std::vector<unsigned char>& body, FailurePacer& pacer) {
    DWORD have = 0;
    DWORD stalledSince = 0;
    bool stalled = false;
    while (have < body.size()) {
        Served follow = FollowNewest(request);
        if (follow != Served::Done) return follow;
        DWORD got = 0;
        DWORD readStart = GetTickCount();
        BOOL ok = ParNT95ReadFile(request.port, body.data() + have, static_cast<DWORD>(body.size() - have),
                                  &got, nullptr);
        have += got;
        if (got > 0) {
            stalled = false;
            pacer.Succeeded();
            continue;
        }
        if (!ok) {
            if (!pacer.Failed()) return Served::PortDead;
            continue;
        }
        pacer.Succeeded();
        if (!stalled) {
            stalled = true;
            stalledSince = GetTickCount();
        } else if (GetTickCount() - stalledSince > PAR_BODY_STALL_MS) {
            DvcLog(DVC_LOG_STEPS, "ParReadPort(): Read 10 Second Timeout occurred \n");
            break;
        }
        PaceEmptyRead(readStart);
    }
    DvcLog(DVC_LOG_STEPS, "ParReadPort() - read %d total bytes\n", (int)have);
    return Served::Done;
}

// Serves one request, or the newest one once a newer came: reads packets until
// a reply is handed over.
Served Serve(Request& request) {
    std::vector<unsigned char> joined; // data of the reply's packets so far
    size_t joinedLength = 0;           // may exceed what is kept once the reply is too large
    bool partial = false;
    int skipCount = 0;
    FailurePacer pacer;
    unsigned char header[5] = {};

    for (;;) {
        Served follow = FollowNewest(request);
        if (follow != Served::Done) return follow;

        Header state = ReadHeader(request.port, header);
        if (state == Header::Failed) {
            skipCount = 0;
            if (!pacer.Failed()) return Served::PortDead;
            continue;
        }
        pacer.Succeeded();
        if (state == Header::Empty) {
            if (!partial) continue;
            if (++skipCount > PAR_EMPTY_READS_TOLERATED) {
                DvcLog(DVC_LOG_STEPS, "Error: quit getting data in the middle of a response");
                Deliver(request, -1, nullptr, {});
                return Served::Done;
            }
            DvcLog(DVC_LOG_STEPS, "no bytes, SkipCount is now %d\n", skipCount);
            continue;
        }
        skipCount = 0;
        if (state == Header::Dropped) continue;

        int length = header[1] * 256 + header[2];
        DvcLog(DVC_LOG_STEPS, "ParReadPort() - DataLen=%d\n", length);
        if (length < 2) {
            // No room for flags and command byte: not a packet.
            DvcLog(DVC_LOG_STEPS, "ParReadPort() - packet too short, discarding\n");
            continue;
        }
        std::vector<unsigned char> body(static_cast<size_t>(length), 0);
        Served read = ReadBody(request, body, pacer);
        if (read != Served::Done) return read;
        header[3] = body[0];
        header[4] = body[1];
        DvcLog(DVC_LOG_HEX, "ParReadPort() - Header:");
        DvcLogHex(header, 5);
        DvcLog(DVC_LOG_HEX, "ParReadPort() - Data:");
        DvcLogHex(body.data() + 2, static_cast<uint16_t>(length - 2));

        size_t dataLength = static_cast<size_t>(length - 2);
        joinedLength += dataLength;
        size_t room = DVC_RESPONSE_SLOT - 5 > joined.size() ? DVC_RESPONSE_SLOT - 5 - joined.size() : 0;
        joined.insert(joined.end(), body.begin() + 2, body.begin() + 2 + std::min(room, dataLength));
        body.clear();
        if (header[3] & 0x20) {
            partial = true;
            continue;
        }
        DvcLog(DVC_LOG_STEPS, "ParReadPort() - no continuation\n");
        uint16_t field = static_cast<uint16_t>(std::min<size_t>(joinedLength + 2, 0xFFFF));
        header[1] = static_cast<unsigned char>(field >> 8);
        header[2] = static_cast<unsigned char>(field & 0xFF);

        // A request that came while the reply was being read is the one it answers.
        follow = FollowNewest(request);
        if (follow != Served::Done) return follow;
        uint8_t flags = header[3];
        uint8_t command = header[4];
        bool discard = true;
        if ((flags & 0x80) && !(flags & 0x10)) {
            DvcLog(DVC_LOG_STEPS, "ParReadPort() - unsolicited error reply, discarding\n");
        } else if (request.command != 0 && command != request.command) {
            DvcLog(DVC_LOG_STEPS,
                   "ParReadPort() - response doesn't match the command we sent (%02X), discarding\n",
                   request.command);
        } else if ((flags & 0x80) && (flags & 0x08)) {
            DvcLog(DVC_LOG_STEPS, "ParReadPort(): It's a command error, discarding.\n");
        } else {
            DvcLog(DVC_LOG_STEPS, "ParReadPort() - solicited reply, matches our command\n");
            discard = false;
        }
        if (discard) {
            joined.clear();
            joinedLength = 0;
            partial = false;
            skipCount = 0;
            continue;
        }

        if (joinedLength + 5 > DVC_RESPONSE_SLOT) {
            DvcLog(DVC_LOG_STEPS, "ParReadPort() - INTERNAL buffer is too small\n");
            Deliver(request, -2, nullptr, {});
        } else {
            DvcLog(DVC_LOG_STEPS, "ParReadPort() - copying\n");
            Deliver(request, static_cast<int32_t>(joinedLength + 5), header, joined);
            DvcLogHex(header, 5);
            DvcLogHex(joined.data(), static_cast<uint16_t>(joined.size()));
        }
        return Served::Done;
    }
}

} // namespace

unsigned WINAPI ParReadPort(void*) {
    uint32_t answered = 0; // tag of the last request given an outcome
    bool any = false;
    for (;;) {
        WaitForSingleObject(G_hSemGoRead, INFINITE);
        // Being woken to end need not sit through the pause first.
        if (EndIfNotExpected(true)) return 0;
        // A request answered while the thread was still reading for an older
        // one posted this wake-up too; its outcome is out already.
        if (any && NewestRequest().tag == answered) continue;
        Sleep(PAR_FIRST_READ_PAUSE_MS);
        if (EndIfNotExpected(true)) return 0;

        Request request = NewestRequest();
        Served served;
        while ((served = Serve(request)) == Served::Moved) {
        }
        if (served == Served::Exit && EndIfNotExpected(true)) return 0;
        if (served == Served::PortDead) {
            Deliver(request, -1, nullptr, {});
            if (EndAfterDeadPort(request.tag)) return 0;
        }
        answered = request.tag;
        any = true;
    }
}
