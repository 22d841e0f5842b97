# Shared by the stress scripts (sourced): the source tree and the task files they
# back up.

# A tree of about COUNT files in nested folders, some MB in all: mostly small files,
# every twentieth one of 64..320 KiB, a few empty ones and names with blanks and
# accents.
make_source_tree() {  # folder, count
    local root=$1 count=$2 i folder size
    mkdir -p "$root"
    for ((i = 0; i < count; i++)); do
        folder=$root/dir$((i % 7))/sub$((i % 3))
        mkdir -p "$folder"
        if ((i % 20 == 0)); then
            size=$(((64 + (i * 37) % 256) * 1024))
        elif ((i % 50 == 7)); then
            size=0
        else
            size=$(((i * 7919) % 12000))
        fi
        head -c "$size" /dev/urandom >"$folder/file $i.dat"
    done
    printf 'caf\xc3\xa9\n' >"$root/dir0/résumé.txt"
    mkdir -p "$root/empty folder"
}

# CorvTasks.bin and CorvGroups.bin of three backup tasks of the source folder: "Copy"
# (copy as is to DEST/copy), "Zip" (DEST/zip/data.zip) and "Spare" (a copy of one
# sub-folder to DEST/spare), with Copy and Zip in the group "Backups".
write_task_list() {  # data folder, source folder, destination folder
    local data=$1 src=$2 dest=$3
    cat >"$data/CorvTasks.bin" <<XML
<TasksList><Main TasksCount="3"/>
<Task0 taskName="Copy" taskType="1" taskOID="1" backupMode="1" destType="1" useXPBurn="0"
 destPath="$dest/copy/" itemsCount="1" SrcDataType1="1" SrcFolder1="$src" DstFolderName1="source"/>
<Task1 taskName="Zip" taskType="1" taskOID="2" backupMode="2" destType="1" useXPBurn="0"
 destPath="$dest/zip/" archiveName="data.zip" archiveCmpVal="6"
 itemsCount="1" SrcDataType1="1" SrcFolder1="$src" DstFolderName1="source"/>
<Task2 taskName="Spare" taskType="1" taskOID="3" backupMode="1" destType="1" useXPBurn="0"
 destPath="$dest/spare/" itemsCount="1" SrcDataType1="1" SrcFolder1="$src/dir1" DstFolderName1="dir1"/>
</TasksList>
XML
    cat >"$data/CorvGroups.bin" <<XML
<GroupsData><ItemsCount Number="2"/>
<Item0 Type="Group" Name="Backups" ItemsCount="2" Task0OID="1" Task1OID="2"/>
<Item1 Type="Task" TaskOID="3"/></GroupsData>
XML
    chmod 600 "$data/CorvTasks.bin" "$data/CorvGroups.bin"
}
