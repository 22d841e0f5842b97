#pragma once

// The tree of what can be backed up, on the left of the source page: "File system"
// holding "My documents" (the XDG documents folder), one node per mounted file system a
// person would back up (platform/UserVolumes.h) and "Home folder". Those are read one
// level deep when the tree is filled; a folder below them is read when it is first
// expanded. Folders come first, then files, each sorted by name without regard to case;
// dot-files and dot-folders are listed like any other entry. Names are carried as the
// bytes on disk (model/FileName.h) and shown escaped where they are not UTF-8.
// "Registry items" follows with the two hives that hold settings keys here
// (platform/Registry.h): HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. A key's sub-keys are
// read when it is first expanded; a key that cannot be opened has no children.
// "Contacts" (the contact store, platform/ContactStore.h) sits between the two: its
// contacts are read when it is first opened, one node per contact, or "no contacts".
// "Program settings" comes last, one node per row of sources/WellKnownSources.h.
//
// Each node keeps its kind (SourceNodeKind) and full path: a folder's path ends in "/",
// a settings key's path is "HIVE\key\sub-key". A contact node keeps the contact's three
// names instead, so any number of contacts can be picked; a program-settings node is
// known by its text.
// A drag started here carries the selected node; the source page takes it on its list.
//
// Main thread only.

#include <QTreeWidget>

#include "platform/UserVolumes.h"

namespace corvane {

enum SourceNodeKind : int {
    kNodeGroup = 0,  // the root group and the placeholders: nothing to back up
    kNodeVolume = 1,
    kNodeFolder = 2,
    kNodeDocuments = 3,
    kNodeHome = 4,
    kNodeFile = 5,
    kNodeRegistryKey = 6,  // a hive or a settings key below one
    kNodeNoContacts = 7,   // the marker of an empty (or unreadable) contact store
    kNodeContacts = 8,     // the root of the contacts: all of them
    kNodeContact = 1024,   // one contact, whatever its place in the store
    kNodeWellKnown = 2048,
};

// The names a contact item is made of.
struct ContactNodeNames {
    QString first;
    QString middle;
    QString last;
};

class CSourceTree : public QTreeWidget {
    Q_OBJECT

  public:
    explicit CSourceTree(QWidget* parent = nullptr);

    // Builds the tree afresh: the mount table and the special folders are read now.
    void Fill(const VolumeInfoFolders& folders = {});

    // The drag format of a node: the list of the source page takes drags that carry it.
    static QString DragFormat();

    static int NodeKind(const QTreeWidgetItem* node);
    // The node's full path; empty for kNodeGroup.
    static QString NodePath(const QTreeWidgetItem* node);
    // The names of a kNodeContact node; empty for any other node.
    static ContactNodeNames ContactNames(const QTreeWidgetItem* node);

  protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& nodes) const override;

  private:
    QTreeWidgetItem* AddFolderNode(QTreeWidgetItem* parent, int kind, const QString& text,
                                   const QString& path, const QIcon& icon);
    // Reads the folder of `node` into its children, replacing what it held.
    void FillFolderNode(QTreeWidgetItem* node);
    // "Contacts" with its placeholder; the contacts are read on the first expand.
    void AddContactsRoot();
    // Reads the contact store into the children of the contacts root.
    void FillContactsNode(QTreeWidgetItem* node);
    // "Registry items" with its hives.
    void AddRegistryRoot();
    void AddProgramSettingsRoot();
    QTreeWidgetItem* AddRegistryNode(QTreeWidgetItem* parent, const QString& text,
                                     const QString& keyPath);
    // Reads the sub-keys of a hive or key node into its children.
    void FillRegistryNode(QTreeWidgetItem* node);
    void FillOnFirstExpand(QTreeWidgetItem* node);
};

}  // namespace corvane
