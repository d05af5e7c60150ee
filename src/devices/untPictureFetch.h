// TPictureFetch: the cloud's pictures (device pictures, news and product pictures) fetched in
// the background, so that lists show at once and their pictures fill in as they arrive. A few
// fetches run at a time, each bounded by a time-out and a size limit, and each picture is decoded
// straight to the size it is shown at. A fetch belongs to a context object: when that object is
// destroyed, or its fetches are abandoned, they end without an answer.
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;

class TPictureFetch : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 5000;
    static constexpr int DefaultMaxRunning = 4;
    static constexpr qint64 MaxPictureBytes = 4 * 1024 * 1024;
    static constexpr int MaxRedirects = 3;

    // The picture, or a null one when it could not be had (address unreachable, time-out, too
    // large, bytes that do not decode).
    using TDone = std::function<void(const QImage& APicture)>;

    explicit TPictureFetch(QObject* parent = nullptr);
    ~TPictureFetch() override;

    // Relative addresses (as the cloud may give them) are on this server.
    void setServer(const QUrl& AServer) { FServer = AServer; }
    QUrl Server() const { return FServer; }
    // The whole fetch, connection included, must end within this time.
    void setTimeoutMs(int AMs) { FTimeoutMs = AMs > 0 ? AMs : DefaultTimeoutMs; }
    int TimeoutMs() const { return FTimeoutMs; }
    void setMaxRunning(int ACount) { FMaxRunning = ACount > 0 ? ACount : DefaultMaxRunning; }

    // Where a cloud picture address is fetched from: http or https, a path ending in ".jpg" or
    // ".jpeg"; an empty address for any other.
    QUrl PictureUrl(const QString& AUrl) const;

    // Queues a fetch for AContext. ADone runs once, later, from the event loop (never from
    // inside this call) with the picture scaled down to fit AFitIn (when valid), unless the
    // context was destroyed or abandoned first. false, and no call, when the address is refused.
    bool Fetch(const QString& AUrl, QObject* AContext, const QSize& AFitIn, TDone ADone);
    // Drops every queued and running fetch of a context; their ADone never runs.
    void Abandon(const QObject* AContext);
    // Fetches queued or running.
    int Pending() const { return int(FQueue.size() + FRunning.size()); }

    // Decodes picture bytes by their content, scaled down to fit AFitIn when it is valid; null
    // when they are not a picture.
    static QImage Decode(const QByteArray& ABytes, const QSize& AFitIn);

signals:
    // A fetch that ran to its end (not abandoned), whether a picture came of it.
    void fetched(const QUrl& AUrl, bool ADecoded);

private:
    struct Job;
    void StartQueued();
    void Start(const std::shared_ptr<Job>& AJob);
    void Finish(const std::shared_ptr<Job>& AJob);
    void Watch(QObject* AContext);

    QNetworkAccessManager* FNet;
    QUrl FServer;
    int FTimeoutMs = DefaultTimeoutMs;
    int FMaxRunning = DefaultMaxRunning;
    std::deque<std::shared_ptr<Job>> FQueue;
    std::vector<std::shared_ptr<Job>> FRunning;
    // Contexts whose destruction is watched.
    QHash<const QObject*, QMetaObject::Connection> FContexts;
    bool FStarting = false;
};
