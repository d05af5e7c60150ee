// The LAN search answer and router join parsers on arbitrary datagrams: no crash, and whatever
// they accept is exactly what the builders would produce for the parsed fields.
#include "untAddRouter.h"
#include "untIOTUDP.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto rcd = ParseSearchAnswer(bytes)) {
        if (bytes.size() != TUDPRcvRcd::Size || rcd->DevType == 0 || BuildSearchAnswer(*rcd) != bytes)
            std::abort();
    }

    const TSearchRe re = CheckRouterDatagram(bytes);
    if (re.isOk && BuildRouterDatagram(QByteArray(1, char(re.CMD)) + re.Buf) != bytes)
        std::abort();

    // The list reader also sees raw bytes, not only checked payloads.
    for (const QByteArray& list : {re.Buf, bytes}) {
        const TRouterNets nets = ParseRouterList(list);
        if (nets.size() > MaxNetsPerReply)
            std::abort();
        qsizetype used = 0;
        for (const TRouterNet& net : nets) {
            used += net.Name.size() + 4; // name, unused byte, signal, CR LF
            if (used > list.size() - 1 || !list.contains(net.Name))
                std::abort();
            (void)net.Caption();
        }
    }

    if (const auto result = ParseJoinResult(re.Buf); result && re.Buf.size() != 2)
        std::abort();
    return 0;
}
