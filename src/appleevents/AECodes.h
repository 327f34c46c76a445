#pragma once

#include <QString>
#include <QtGlobal>

// Four-character codes of the Apple Event Manager, as the editor and the
// agent exchange them. A code is stored as a 32-bit number whose most
// significant byte is the first character.
using DescType = quint32;
using AEKeyword = quint32;
using AEEventClass = quint32;
using AEEventID = quint32;

namespace AECodes {

constexpr quint32 fourCC(const char (&s)[5]) {
    return (quint32(quint8(s[0])) << 24) | (quint32(quint8(s[1])) << 16) |
           (quint32(quint8(s[2])) << 8) | quint32(quint8(s[3]));
}

// The four characters in reading order; bytes outside printable ASCII are
// kept as Latin-1 characters so that every code round-trips.
QString toString(quint32 code);
// Parses exactly four Latin-1 characters; anything else gives 0 and ok=false.
quint32 fromString(const QString& text, bool* ok = nullptr);

// Descriptor types.
constexpr DescType typeNull = fourCC("null");
constexpr DescType typeSInt16 = fourCC("shor");
constexpr DescType typeUInt16 = fourCC("ushr");
constexpr DescType typeSInt32 = fourCC("long");
constexpr DescType typeUInt32 = fourCC("magn");
constexpr DescType typeSInt64 = fourCC("comp");
constexpr DescType typeUInt64 = fourCC("ucom");
constexpr DescType typeIEEE64BitFloatingPoint = fourCC("doub");
constexpr DescType typeBoolean = fourCC("bool");
constexpr DescType typeTrue = fourCC("true");
constexpr DescType typeFalse = fourCC("fals");
constexpr DescType typeChar = fourCC("TEXT");
constexpr DescType typeUTF8Text = fourCC("utf8");
constexpr DescType typeUnicodeText = fourCC("utxt");
constexpr DescType typeType = fourCC("type");
constexpr DescType typeEnumerated = fourCC("enum");
constexpr DescType typeKeyword = fourCC("keyw");
constexpr DescType typeFileURL = fourCC("furl");
constexpr DescType typeAEList = fourCC("list");
constexpr DescType typeAERecord = fourCC("reco");
constexpr DescType typeAppleEvent = fourCC("aevt");
constexpr DescType typeObjectSpecifier = fourCC("obj ");
constexpr DescType typeInsertionLoc = fourCC("insl");
constexpr DescType typeWildCard = fourCC("****");

// Object specifier record keys and forms.
constexpr AEKeyword keyAEDesiredClass = fourCC("want");
constexpr AEKeyword keyAEContainer = fourCC("from");
constexpr AEKeyword keyAEKeyForm = fourCC("form");
constexpr AEKeyword keyAEKeyData = fourCC("seld");
constexpr DescType formUniqueID = fourCC("ID  ");
constexpr DescType formAbsolutePosition = fourCC("indx");
constexpr DescType formPropertyID = fourCC("prop");
constexpr DescType cProperty = fourCC("prop");
constexpr AEKeyword keyAEObject = fourCC("kobj");
constexpr AEKeyword keyAEPosition = fourCC("kpos");
constexpr DescType kAEBeginning = fourCC("bgng");
constexpr DescType kAEEnd = fourCC("end ");

// Events, parameters and attributes.
constexpr AEEventClass kCoreEventClass = fourCC("aevt");
constexpr AEEventID kAEOpenApplication = fourCC("oapp");
constexpr AEEventID kAEReopenApplication = fourCC("rapp");
constexpr AEEventID kAEOpenDocuments = fourCC("odoc");
constexpr AEEventID kAEQuitApplication = fourCC("quit");
constexpr AEEventID kAEAnswer = fourCC("ansr");
constexpr AEEventClass kAECoreSuite = fourCC("core");
constexpr AEEventID kAECreateElement = fourCC("crel");
constexpr AEEventID kAEGetData = fourCC("getd");
constexpr AEKeyword keyDirectObject = fourCC("----");
constexpr AEKeyword keyErrorNumber = fourCC("errn");
constexpr AEKeyword keyErrorString = fourCC("errs");
constexpr AEKeyword keyReturnIDAttr = fourCC("rtid");
constexpr AEKeyword keyInteractLevelAttr = fourCC("inte");
constexpr AEKeyword keyASUserRecordFields = fourCC("usrf");

// Interaction levels.
constexpr qint32 kAENeverInteract = 0x10;
constexpr qint32 kAECanInteract = 0x20;
constexpr qint32 kAEAlwaysInteract = 0x30;
constexpr qint32 kAECanSwitchLayer = 0x40;

// Error numbers.
constexpr int noErr = 0;
constexpr int userCanceledErr = -128;
constexpr int errAECoercionFail = -1700;
constexpr int errAEDescNotFound = -1701;
constexpr int errAECorruptData = -1702;
constexpr int errAEEventNotHandled = -1708;
constexpr int errAENoUserInteraction = -1713;
constexpr int errAEParamMissed = -1715;
constexpr int errAENoSuchObject = -1728;
constexpr int errAETimeout = -1712;
constexpr int errOSACantCreate = -2710;
constexpr int errAEEventFailed = -10000;

}  // namespace AECodes
