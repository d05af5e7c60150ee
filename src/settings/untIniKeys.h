// The keys of program.ini with their types and defaults: the only place where a key is spelt.
#pragma once

#include <array>

enum class TIniType {
    Integer,  // decimal; "0x…" read as hexadecimal; anything else gives the default
    Boolean,  // "1"/"0"; any integer other than 0 is true
    Text,     // as written
    Ciphered, // letters of the settings cipher under the machine key
};

struct TIniKey {
    const char* Section; // for per-device and per-message keys: the prefix of "Device0", "FeedList0", …
    const char* Name;    // for OutLock: the prefix of "OutLock0", …
    TIniType Type;
    const char* Default;
};

namespace IniKeys {

inline constexpr char SystemSection[] = "System";
inline constexpr char DeviceSection[] = "Device";
inline constexpr char FeedSection[] = "FeedList";

// [System]
inline constexpr TIniKey Language{SystemSection, "Language", TIniType::Boolean, "1"};
inline constexpr TIniKey TCPLANPort{SystemSection, "TCPLANPort", TIniType::Integer, "8899"};
inline constexpr TIniKey TCPRemotePort{SystemSection, "TCPRemotePort", TIniType::Integer, "8900"};
inline constexpr TIniKey UDPSCanPort{SystemSection, "UDPSCanPort", TIniType::Integer, "1901"};
inline constexpr TIniKey RemPss{SystemSection, "RemPss", TIniType::Boolean, "0"};
inline constexpr TIniKey AutoLog{SystemSection, "AutoLog", TIniType::Boolean, "0"};
inline constexpr TIniKey UserName{SystemSection, "UserName", TIniType::Ciphered, ""};
inline constexpr TIniKey Password{SystemSection, "Password", TIniType::Ciphered, ""};
inline constexpr TIniKey DevListCount{SystemSection, "DevListCount", TIniType::Integer, "0"};
inline constexpr TIniKey FeedListCount{SystemSection, "FeedListCount", TIniType::Integer, "0"};
inline constexpr TIniKey Lock{SystemSection, "Lock", TIniType::Text, ""};
// Read only; empty means the build-time default address.
inline constexpr TIniKey CloudServer{SystemSection, "CloudServer", TIniType::Text, ""};
// Read only; 1 shows the message page's tab.
inline constexpr TIniKey MessagePage{SystemSection, "MessagePage", TIniType::Boolean, "0"};

// [DeviceN]
inline constexpr TIniKey DevName{DeviceSection, "Name", TIniType::Text, ""};
inline constexpr TIniKey DevMAC{DeviceSection, "MAC", TIniType::Text, "FF FF FF FF FF FF"};
// The default applies to a missing key only; an empty value is an empty password.
inline constexpr TIniKey DevPassword{DeviceSection, "DevPassword", TIniType::Ciphered, "qorvu"};
inline constexpr TIniKey DevType{DeviceSection, "Type", TIniType::Integer, "0"};
inline constexpr TIniKey DevCtrlByte{DeviceSection, "CtrlByte", TIniType::Integer, "0"};
inline constexpr TIniKey DevActivation{DeviceSection, "Activation", TIniType::Boolean, "0"};
inline constexpr TIniKey DevOutCount{DeviceSection, "OutCount", TIniType::Integer, "0"};
inline constexpr TIniKey DevOutLock{DeviceSection, "OutLock", TIniType::Boolean, "0"};
inline constexpr TIniKey DevTouchMode{DeviceSection, "TouchMode", TIniType::Boolean, "1"};
// Only for boards added by address (absent otherwise).
inline constexpr TIniKey DevLanHost{DeviceSection, "LanHost", TIniType::Text, ""};
inline constexpr TIniKey DevLanPort{DeviceSection, "LanPort", TIniType::Integer, "0"};

// [FeedListN]
inline constexpr TIniKey FeedText{FeedSection, "Text", TIniType::Text, ""};
inline constexpr TIniKey FeedType{FeedSection, "Type", TIniType::Boolean, "0"};
// The server's id of a support reply, so that a reply sent again is recognised after a restart.
inline constexpr TIniKey FeedId{FeedSection, "Id", TIniType::Text, ""};

inline constexpr std::array All{
    Language,     TCPLANPort,   TCPRemotePort, UDPSCanPort, RemPss,        AutoLog,     UserName,
    Password,     DevListCount, FeedListCount, Lock,        CloudServer,   MessagePage, DevName,
    DevMAC,       DevPassword,  DevType,       DevCtrlByte, DevActivation, DevOutCount, DevOutLock,
    DevTouchMode, DevLanHost,   DevLanPort,    FeedText,    FeedType,      FeedId,
};

} // namespace IniKeys
