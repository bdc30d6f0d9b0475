#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace hsc::gui {

// One running copy per user: the first copy listens on a local socket; a later copy
// finds it there, asks it to come to the front, hands it the files it was started
// with ("Open with" from a file manager) and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket name: "Hushcel-" and the user id.
    static QString defaultName();

    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // True when this is the first copy (it now listens). False when another copy runs;
    // that copy has been asked to come to the front and has been sent `files`.
    bool claim(const QStringList& files = {});

signals:
    void raiseRequested();
    void filesRequested(const QStringList& files);  // what a later copy was started with

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};

}  // namespace hsc::gui
