// The idle handler and its request queues.
#include "AppTestFixture.h"

#include "app/IdleQueues.h"

#include <gmock/gmock.h>

#include <thread>

namespace vantelis::test {
namespace {

using ::testing::ElementsAre;

class AppIdleTest : public AppStartupFixture
{
  protected:
    AppIdleTest()
    {
        m_app = std::make_unique<CPlexorinApp>();
        m_app->m_doc_template = &m_framework->m_template;
    }
    ~AppIdleTest() override
    {
        _open_reference_queue.clear();
        _close_document_queue.clear();
        _show_video_dialog_request = false;
    }

    void OpenDocuments(std::vector<DocumentTemplate::OpenDocument> documents)
    {
        m_framework->m_template.m_documents = std::move(documents);
    }
};

TEST_F(AppIdleTest, ReferenceRequestsAreServedNewestFirstOnePerCall)
{
    ASSERT_TRUE(QueueOpenReferenceRequest("/exp/Images/a.png"));
    ASSERT_TRUE(QueueOpenReferenceRequest("/exp/Images/b.png"));

    EXPECT_TRUE(m_app->OnIdle(0));
    EXPECT_THAT(m_calls, ElementsAre("SaveReferenceImage:/exp/Images/b.png:close"));
    EXPECT_TRUE(m_app->OnIdle(1));
    EXPECT_THAT(m_calls, ElementsAre("SaveReferenceImage:/exp/Images/b.png:close",
                                     "SaveReferenceImage:/exp/Images/a.png:close"));
    EXPECT_FALSE(m_app->OnIdle(2));
    EXPECT_EQ(m_calls.back(), "FrameworkIdle:2");
}

TEST_F(AppIdleTest, AReferenceRequestGoesBeforeACloseRequest)
{
    OpenDocuments({{"/exp/Images/a.png", true}});
    QueueCloseDocumentRequest("/exp/Images/a.png");
    QueueOpenReferenceRequest("/exp/Images/b.png");

    EXPECT_TRUE(m_app->OnIdle(0));
    EXPECT_THAT(m_calls, ElementsAre("SaveReferenceImage:/exp/Images/b.png:close"));
    EXPECT_TRUE(m_app->OnIdle(0));
    EXPECT_THAT(m_calls, ElementsAre("SaveReferenceImage:/exp/Images/b.png:close", "Close:0"));
}

TEST_F(AppIdleTest, CloseRequestClosesTheFirstDocumentOfThatPathWithAView)
{
    struct Case
    {
        const char *name;
        std::vector<DocumentTemplate::OpenDocument> documents;
        const char *request;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"exact path", {{"/x/other.png", true}, {"/x/a.png", true}}, "/x/a.png", {"Close:1"}},
        {"letter case ignored", {{"/X/Images/A.PNG", true}}, "/x/images/a.png", {"Close:0"}},
        {"document without view passed over",
         {{"/x/a.png", false}, {"/x/A.png", true}},
         "/x/a.png",
         {"Close:1"}},
        {"first match only", {{"/x/a.png", true}, {"/x/a.png", true}}, "/x/a.png", {"Close:0"}},
        {"unknown path consumed without effect", {{"/x/a.png", true}}, "/x/b.png", {}},
        {"longer path is another document", {{"/x/a.png.bak", true}}, "/x/a.png", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_calls.clear();
        OpenDocuments(c.documents);
        ASSERT_TRUE(QueueCloseDocumentRequest(c.request));

        EXPECT_TRUE(m_app->OnIdle(0));
        EXPECT_EQ(m_calls, c.expected);
        EXPECT_TRUE(_close_document_queue.empty());
    }
}

TEST_F(AppIdleTest, ShowVideoRequestCreatesTheWindowHiddenThenShowsIt)
{
    _show_video_dialog_request = true;
    EXPECT_TRUE(m_app->OnIdle(0));
    EXPECT_THAT(m_calls, ElementsAre("VideoDlg.Create(hidden)", "VideoDlg.Show"));
    EXPECT_FALSE(_show_video_dialog_request);

    // Already visible: the request only clears the flag.
    m_calls.clear();
    _show_video_dialog_request = true;
    EXPECT_TRUE(m_app->OnIdle(0));
    EXPECT_TRUE(m_calls.empty());
    EXPECT_FALSE(_show_video_dialog_request);

    // Hidden again: shown without a second window.
    m_experiment->m_video.m_visible = false;
    _show_video_dialog_request = true;
    EXPECT_TRUE(m_app->OnIdle(0));
    EXPECT_THAT(m_calls, ElementsAre("VideoDlg.Show"));
}

TEST_F(AppIdleTest, WithoutRequestsTheFrameworkIdlesWithTheSameCount)
{
    EXPECT_FALSE(m_app->OnIdle(7));
    EXPECT_THAT(m_calls, ElementsAre("FrameworkIdle:7"));
}

TEST_F(AppIdleTest, ARequestMadeWhileTheQueuesAreBusyIsDropped)
{
    ASSERT_TRUE(_app_queue_semaphore.Wait(0));
    bool queued = true;
    std::thread producer([&] { queued = QueueCloseDocumentRequest("/x/a.png"); });
    producer.join();
    _app_queue_semaphore.Release();

    EXPECT_FALSE(queued);
    EXPECT_TRUE(_close_document_queue.empty());
}

} // namespace
} // namespace vantelis::test
