#pragma once

#include "db/backend.h"
#include "db/databaselocation.h"
#include "db/outcome.h"
#include "db/recordset.h"

#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QSqlError;

namespace verna::db {

namespace tsql {
struct Translation;
}

// The words every failure caused by a lost server connection carries; a window tells such a
// failure by them and says so in its one message.
inline const QString kConnectionLostText = QStringLiteral("Spojení s databází bylo přerušeno");
inline bool isConnectionLoss(const QString &error) { return error.contains(kConnectionLostText); }
class ServerThread;
struct ServerQuery;

struct Rows {
    QList<QStringList> rows;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The one connection every window and command uses. It takes T-SQL texts as the
// application builds them and runs them on the backend through the translation layer.
class Database : public QObject
{
    Q_OBJECT
public:
    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    // Opens the location. An existing file is never created anew nor written to here, and is
    // opened read-only when it cannot be written (writes then fail with a Czech message).
    Outcome open(const DatabaseLocation &location);
    // Switches a writable SQLite file to write-ahead logging (readers beside one writer). It
    // writes to the file: only for a file known to be VERNA's, or one being created.
    void useWriteAheadLog();
    bool isReadOnly() const { return m_readOnly; }
    // After large writes: empties the SQLite write-ahead log into the file, so the log does not
    // stay as large as the writes were. Outside a transaction only; does nothing elsewhere.
    void trimWriteAheadLog();
    // Whether open() created the file in this run (it did not exist before).
    bool createdFile() const { return m_createdFile; }
    // Closes the connection and removes the file that open() created in this run, with its
    // -wal and -shm, so that a failed init or first start leaves nothing behind.
    void removeCreatedFile();
    void close();
    bool isOpen() const;
    Backend backend() const { return m_backend; }
    const DatabaseLocation &location() const { return m_location; }
    // Whether the server says the link to it is encrypted (TLS), as read right after connecting.
    // A file is never "encrypted": it is not sent anywhere.
    bool isEncrypted() const { return m_encrypted; }
    QSqlDatabase connection() const;
    // Whether the connection is open for a call made now, after opening it again when it was
    // lost (outside a transaction); the reason is lastError() when it is not.
    bool readyForCall();

    // Runs a batch (statements separated by CR or ";") in one transaction; BEGIN TRAN and
    // COMMIT TRAN mark that transaction. Any failing statement rolls the whole batch back. A
    // batch that would end or split the transaction early (statements after COMMIT, ROLLBACK,
    // savepoints) is refused before anything runs. A batch of queries only takes no write lock.
    // Rows of statements that return any go to rowSink, as text.
    using RowSink = std::function<void(const QStringList &row)>;
    Outcome execute(const QString &batch, const RowSink &rowSink = {});

    // Runs one statement of standard SQL as it is, without T-SQL translation (generated
    // bulk inserts of literals). Joins the caller's transaction.
    Outcome executeNative(const QString &sql);
    // The same statement started on a server's connection thread, returning before the server
    // answers, so that the caller builds the next one meanwhile (bulk rows). Its outcome comes
    // from finishStarted(); every other call on the connection awaits it first and fails when it
    // failed (a rollback runs anyway). Elsewhere it runs at once, as executeNative.
    Outcome startNative(const QString &sql);
    Outcome finishStarted();

    // Opens a forward-only record set on one statement.
    RecordSet openRecordSet(const QString &statement);
    // A listing of the backend's own SQL whose rows the caller shows as they come. On PostgreSQL,
    // outside a transaction, the rows come through a server-side cursor in a transaction of its
    // own: the first batch at once, the rest in growing batches. Any other call on the connection
    // meanwhile first reads the rest of the listing and ends that transaction, so it never runs
    // inside it. Elsewhere the same as openNativeRecordSet.
    RecordSet openListing(const QString &sql);
    // The statement that tells PostgreSQL, inside a listing's transaction, that its first rows
    // count.
    static const QString kListingSettings;
    // The same for one query of the backend's own SQL (no T-SQL translation): its rows come
    // as the database hands them, never all read before the first.
    RecordSet openNativeRecordSet(const QString &sql);

    // First column of the first row as text; "" when there is no row or a NULL. A failed read
    // is an error, never an empty value.
    Result<QString> readValue(const QString &statement);

    // The same value, "" also on any error: the shared single-value query, for callers to
    // whom a failed read and a missing value mean the same.
    QString singleValue(const QString &statement) { return readValue(statement).value; }

    // All rows of one statement as text.
    Rows queryRows(const QString &statement);

    // All rows of one statement of the backend's own SQL (no T-SQL translation), with the
    // driver's values. Inside a PostgreSQL transaction a failed read is undone to a savepoint,
    // so the caller's transaction lives on.
    Result<QList<QVariantList>> queryNative(const QString &sql);

    // Transactions: nested begins join the outer transaction; a rollback anywhere rolls
    // back the whole of it. Use Transaction (transaction.h) rather than these directly.
    bool beginTransaction();
    bool commitTransaction();
    void rollbackTransaction();
    bool inTransaction() const { return m_depth > 0; }

    // Whether a call made now comes from a pass over events (EventPause) that the open
    // transaction's own work let through, or that a wait on the server lets through: another
    // window's work. Such calls are refused before they reach the driver (kBusyText); they
    // neither join the transaction nor end it.
    bool refusesCallsNow() const;
    static const QString kBusyText;

    // Inside a transaction: keeps other writers of the table out until it ends, for keys
    // computed from the table's current contents (max+1, min-1).
    Outcome serialiseWriters(const QString &table);

    // The text of the statement built last by the evaluator or statement access.
    QString sharedSql() const { return m_sharedSql; }
    void setSharedSql(const QString &sql) { m_sharedSql = sql; }

    // Called after every database call, so a window can repaint and take Stop mid-loop.
    void setIdleHook(std::function<void()> hook) { m_idleHook = std::move(hook); }
    void idle();

    // What the caller does while a call waits on a server (ODBC connections only): waiting is
    // asked every few milliseconds with the time waited so far and answers false to stop the
    // call; ended follows once after the last question.
    struct WaitHook {
        std::function<bool(std::chrono::milliseconds waited)> waiting;
        std::function<void()> ended;
    };
    void setWaitHook(WaitHook hook) { m_waitHook = std::move(hook); }

    // How long a connect or one statement may go unanswered before it is given up: the setting
    // Databaze/LimitOdpovedi in seconds (15 when unset), or VERNA_LIMIT_ODPOVEDI when set.
    static std::chrono::milliseconds configuredResponseLimit();
    std::chrono::milliseconds responseLimit() const { return m_responseLimit; }
    // Takes effect for the next call (the login limit at the next connect).
    void setResponseLimit(std::chrono::milliseconds limit) { m_responseLimit = limit; }

    // Runs a call that waits on the server: on an embedded file here and now; on a server on the
    // connection's own thread, while the wait hook keeps the caller's windows alive. Stop or the
    // response limit run cancel (which must not block) and fail with a Czech message; a server
    // that does not take the cancel either is left with its connection (the next operation
    // opens a fresh one). A call without cancel that returns in time counts as answered. Cancel
    // answers a flag set once its request has returned: the connection is used again only then.
    enum class ServerCall { Connect, Statement, Commit, Rollback };
    using CancelCall = std::function<std::shared_ptr<std::atomic_bool>()>;
    Outcome awaitServer(ServerCall kind, const std::function<void()> &call, const CancelCall &cancel = {});

    QString lastError() const { return m_lastError; }

    // For a statement that reaches the driver by its own prepared handle (bulk rows): refuses a
    // guest and takes its turn at the test switch, as every other statement does. False with
    // lastError() set when it must not run.
    bool admitStatement();

    // Records a failure; a lost connection is announced once through connectionLost, and the
    // next operation outside a transaction opens the connection again.
    void noteError(const QSqlError &error);

    // One read outside a transaction that may run once more: when it finds the connection lost
    // before it delivered anything (the server restarted while the connection sat idle), the
    // connection is opened again and the read repeated, and nothing is reported. A loss that
    // stays is announced. Writes never use it; inside a transaction the transaction went with
    // the connection, so a read there runs once.
    class ReadRetry
    {
    public:
        explicit ReadRetry(Database &database);
        ~ReadRetry();
        ReadRetry(const ReadRetry &) = delete;
        ReadRetry &operator=(const ReadRetry &) = delete;
        // After a failed attempt: true when it failed on a lost connection that is open again,
        // so the read runs once more. delivered: the attempt already handed rows out.
        bool again(bool delivered = false);

    private:
        Database &m_db;
        bool m_armed = false;
    };

    // Test switch of this connection, off in the product: the Nth statement from now that
    // would reach the driver fails instead, as on a broken server (0 switches it off); with
    // asLostConnection it fails as a lost connection does, announced as one.
    // statementsRun counts the statements since the switch was last set, faulted or not.
    void failStatementForTesting(int n, bool asLostConnection = false);
    int statementsRunForTesting() const { return m_statementsRun; }

signals:
    void connectionLost(const QString &reason);

private:
    friend class RecordSet;
    // The listing's next batch into the record set; false at its end or on a failure (the
    // record set's error says which).
    bool nextBatch(RecordSet &rs);
    // Ends the listing's transaction, if still open; rows not read yet are dropped.
    void endListing(const std::shared_ptr<ServerCursor> &cursor);
    // Before another call: the open listing's remaining rows are read and its transaction ends.
    void parkListing();
    // One statement of the listing itself; a failure ends its transaction.
    bool listingStatement(ServerCursor &cursor, QSqlQuery &q, const QString &sql);
    void closeListing(ServerCursor &cursor);
    Outcome openFile(const DatabaseLocation &location);
    bool readEncrypted();
    Outcome openSqlite(const QString &path, bool exists, bool immutable);
    bool begin(bool forWriting);
    // The one place backend SQL reaches the driver: forward-only, exact decimals, errors noted.
    bool exec(QSqlQuery &q, const QString &sql);
    RecordSet openTranslated(const QString &sql);
    // A query opened again once when the connection was lost before it.
    RecordSet openQuery(const QString &sql);
    Outcome runStatement(const tsql::Translation &statement, const RowSink &rowSink);
    // The translated statements of one batch in one transaction.
    Outcome runBatch(const std::vector<tsql::Translation> &statements, bool forWriting, const RowSink &rowSink);
    bool execRaw(const QString &sql);
    // After a lost connection: opens it again before an operation that starts afresh.
    void reconnectIfLost();
    // refusesCallsNow(), noting the refusal as the last error.
    bool refuseGuest();
    // Opens the server connection set up under m_name, within the response limit.
    Outcome openServerConnection();
    // A statement on the driver; on a server through awaitServer. Errors are noted.
    bool runOnDriver(QSqlQuery &q, const QString &sql);
    // Settings of a new server connection.
    void prepareServerSession();
    // Ends the server transaction (commit or rollback) through awaitServer.
    bool endServerTransaction(bool commit);
    // Gives up the connection whose call does not return: it is closed on its own thread once
    // the server answers, and a fresh one (not open yet) takes its place.
    void abandonConnection(const std::shared_ptr<std::atomic_bool> &cancelDone);
    // Waits for the call handed to the server thread last, as awaitServer does.
    Outcome awaitCall(ServerCall kind, const CancelCall &cancel);

    QString m_name;
    DatabaseLocation m_location;
    Backend m_backend = Backend::SQLite;
    int m_depth = 0;
    // The EventPause depth the open transaction began at; deeper calls are guests.
    int m_ownerPause = 0;
    bool m_rollbackOnly = false;
    bool m_readOnly = false;
    bool m_fileNoted = false; // the file is in the process's list of open databases
    bool m_createdFile = false;
    bool m_lostReported = false;
    bool m_encrypted = false;
    // Reads that may still run again (ReadRetry): a loss they find is not announced yet.
    int m_quietReads = 0;
    QString m_unannouncedLoss;
    QString m_lastError;
    QString m_sharedSql;
    QStringList m_lockedTables;
    std::function<void()> m_idleHook;
    int m_failAt = 0;
    bool m_failAsLoss = false;
    int m_statementsRun = 0;
    std::unique_ptr<ServerThread> m_server;
    // The statement startNative() left running on the server thread, not awaited yet.
    std::shared_ptr<ServerQuery> m_started;
    WaitHook m_waitHook;
    std::chrono::milliseconds m_responseLimit;
    // Calls waiting on the server now; whatever the wait hook lets run meanwhile is refused.
    int m_serverWaits = 0;
    // The open transaction's connection was given up: its statements fail with this text.
    QString m_abandonedTransaction;
    // The listing whose cursor is open on the connection, and whether a statement of its own runs.
    std::weak_ptr<ServerCursor> m_listing;
    bool m_listingCall = false;
    // The last call to the server ended unanswered (the limit, or Stop): a read is then not
    // tried again, which would only wait as long once more.
    bool m_serverGaveUp = false;
};

} // namespace verna::db
