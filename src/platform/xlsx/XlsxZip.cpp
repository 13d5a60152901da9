// The package layer: a workbook is a zip archive of XML parts.

#include "platform/xlsx/XlsxPrivate.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#include <zip.h>

namespace xlsx {

namespace {

QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

QString archiveErrorText(zip_t *archive)
{
    return QString::fromUtf8(zip_error_strerror(zip_get_error(archive)));
}

// No part of a workbook we read comes near this; a damaged or hostile file
// may claim more in its directory.
constexpr zip_uint64_t kMaxPartSize = zip_uint64_t(1) << 30;

// A part made while the archive is written: libzip reads it through this
// source and deflates it as it comes, so no more than one piece is held.
struct ProducedPart
{
    std::function<QByteArray()> produce;
    QByteArray piece;
    qsizetype at = 0;
    bool ended = false;
    zip_uint64_t total = 0;
    zip_error_t error;
};

zip_int64_t producedPartCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *part = static_cast<ProducedPart *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return 0;
    case ZIP_SOURCE_READ: {
        zip_uint64_t given = 0;
        auto *out = static_cast<char *>(data);
        while (given < length && !part->ended) {
            if (part->at >= part->piece.size()) {
                part->piece = part->produce();
                part->at = 0;
                if (part->piece.isEmpty()) {
                    part->ended = true;
                    break;
                }
            }
            const zip_uint64_t n = std::min<zip_uint64_t>(length - given, zip_uint64_t(part->piece.size() - part->at));
            std::memcpy(out + given, part->piece.constData() + part->at, n);
            part->at += qsizetype(n);
            given += n;
            part->total += n;
        }
        return zip_int64_t(given);
    }
    case ZIP_SOURCE_CLOSE:
        part->piece.clear();
        return 0;
    case ZIP_SOURCE_STAT: {
        // The size is known only once the part is made, and libzip takes a
        // part of unknown size for one beyond 4 GiB: its entry would carry
        // the 64-bit size fields that not every spreadsheet program reads.
        // What it is told here decides only that; the sizes written are the
        // ones counted while the part is deflated, and a part that does grow
        // that large fails the save.
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->size = part->ended ? part->total : 1;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&part->error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&part->error);
        delete part;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&part->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

zip_source_t *producedSource(zip_t *archive, const std::function<QByteArray()> &produce)
{
    auto *part = new ProducedPart{produce, {}, 0, false, 0, {}};
    zip_error_init(&part->error);
    zip_source_t *source = zip_source_function(archive, producedPartCallback, part);
    if (!source) {
        zip_error_fini(&part->error);
        delete part;
    }
    return source;
}

} // namespace

bool readZip(const QString &path, QList<ZipEntry> *entries, QString *error)
{
    entries->clear();
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, zipErrorText(code));
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, archiveErrorText(archive));
            zip_discard(archive);
            return false;
        }
        ZipEntry entry;
        entry.name = QString::fromUtf8(st.name);
        if (st.size > kMaxPartSize) {
            *error = QStringLiteral("cannot read %1 in %2: the part is too large").arg(entry.name, path);
            zip_discard(archive);
            return false;
        }
        if (st.size > 0) {
            // The size is what the archive's directory claims; memory grows
            // only with what really comes out of the part.
            zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(i), 0);
            zip_int64_t got = file ? 0 : -1;
            char chunk[64 * 1024];
            while (file && zip_uint64_t(got) < st.size) {
                const zip_int64_t n =
                    zip_fread(file, chunk, std::min<zip_uint64_t>(sizeof chunk, st.size - zip_uint64_t(got)));
                if (n <= 0) {
                    if (n < 0)
                        got = -1;
                    break;
                }
                entry.data.append(chunk, qsizetype(n));
                got += n;
            }
            if (file)
                zip_fclose(file);
            if (got != zip_int64_t(st.size)) {
                *error = QStringLiteral("cannot read %1 in %2: %3").arg(entry.name, path, archiveErrorText(archive));
                zip_discard(archive);
                return false;
            }
        }
        entries->append(entry);
    }
    zip_discard(archive);
    return true;
}

bool writeZip(const QString &path, const QList<ZipEntry> &entries, QString *error)
{
    int code = 0;
    // libzip builds the archive in a temporary file and renames it over the
    // target on zip_close, so a failed save leaves any old file in place.
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, zipErrorText(code));
        return false;
    }
    for (const ZipEntry &entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        zip_int64_t index = -1;
        if (entry.name.endsWith(u'/')) {
            index = zip_dir_add(archive, name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            // The buffer belongs to entries, which outlives zip_close below.
            zip_source_t *source =
                entry.produce ? producedSource(archive, entry.produce)
                              : zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
            if (source) {
                index = zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
                if (index < 0)
                    zip_source_free(source);
                else // sheet XML compresses well at the fastest level; a large export writes much faster
                    zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
            }
        }
        if (index < 0) {
            *error = QStringLiteral("cannot add %1 to %2: %3").arg(entry.name, path, archiveErrorText(archive));
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, archiveErrorText(archive));
        zip_discard(archive);
        return false;
    }
    return true;
}

} // namespace xlsx
