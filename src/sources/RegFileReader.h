#pragma once

// Parses the bytes of a REGEDIT4 file (doc/formats/regedit4.md) into the keys and values
// it holds, handed to a sink in the file's order. The reader writes nowhere itself; the
// bytes come in pieces of any size, so a file is read through a fixed buffer.
//
// One reader belongs to one thread and reads one file.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/Registry.h"

namespace corvane {

class RegFileSink {
  public:
    virtual ~RegFileSink() = default;
    // A key line: the values that follow belong to this key. 0, or an errno value that
    // ends the reading.
    virtual int OpenKey(RegistryHive hive, const QString& subKey) = 0;
    // One value of the key opened last. 0, or an errno value that ends the reading.
    virtual int SetValue(const RegistryValue& value) = 0;
};

class RegFileReader {
  public:
    explicit RegFileReader(RegFileSink& sink);

    // Reads the next bytes of the file. False once the reading has ended with an error.
    bool Feed(QByteArrayView bytes);
    // The file ends here: reads a last line without its line end. False when the reading
    // ended with an error (also a file without its first line, or one that ends inside a
    // byte list).
    bool Finish();

    // 0, EBADMSG when the file is not in the format, or the sink's errno value.
    int Error() const { return m_error; }
    // The line the error was found on (counted from 1).
    int ErrorLine() const { return m_lineNumber; }
    // What is wrong, in a few words (never the value's data).
    const QString& Reason() const { return m_reason; }

  private:
    bool EndLine();
    bool ReadLine(QByteArrayView line);
    bool ReadKeyLine(QByteArrayView line);
    bool ReadValueLine(QByteArrayView line);
    bool ReadData(QByteArrayView data);
    bool ReadByteListPart(QByteArrayView part);
    bool FinishByteList();
    bool Deliver(int error);
    bool Fail(int error, const char* reason);

    RegFileSink& m_sink;
    QByteArray m_line;
    int m_lineNumber = 0;
    bool m_lineStarted = false;
    bool m_headerSeen = false;
    bool m_keyOpen = false;
    // A byte list that goes on on the next line, its text gathered without the breaks.
    bool m_inByteList = false;
    RegistryValue m_value;
    QByteArray m_byteListText;
    int m_error = 0;
    QString m_reason;
};

}  // namespace corvane
