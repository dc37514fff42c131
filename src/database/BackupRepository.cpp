#include "BackupRepository.h"

#include "SafeFileWriter.h"

#include <git2.h>

#include <algorithm>
#include <memory>

namespace {

// The author when no git configuration names one.
constexpr const char* FALLBACK_NAME = "lumaret";
constexpr const char* FALLBACK_EMAIL = "lumaret@localhost";

template <typename T, void (*FREE)(T*)> struct GitFree {
    void operator()(T* p) const { FREE(p); }
};
template <typename T, void (*FREE)(T*)> using GitPtr = std::unique_ptr<T, GitFree<T, FREE>>;

using ObjectPtr = GitPtr<git_object, git_object_free>;
using CommitPtr = GitPtr<git_commit, git_commit_free>;
using TreePtr = GitPtr<git_tree, git_tree_free>;
using EntryPtr = GitPtr<git_tree_entry, git_tree_entry_free>;
using BlobPtr = GitPtr<git_blob, git_blob_free>;
using BuilderPtr = GitPtr<git_treebuilder, git_treebuilder_free>;
using SignaturePtr = GitPtr<git_signature, git_signature_free>;
using IndexPtr = GitPtr<git_index, git_index_free>;
using WalkPtr = GitPtr<git_revwalk, git_revwalk_free>;

std::string LastGitError() {
    const git_error* error = git_error_last();
    return error != nullptr && error->message != nullptr ? error->message : "unknown error";
}

std::string Hex(const git_oid& id) {
    char text[GIT_OID_HEXSZ + 1] = {};
    git_oid_tostr(text, sizeof text, &id);
    return text;
}

std::string ShortId(const git_object* object) {
    git_buf buf = GIT_BUF_INIT;
    std::string id;
    if (git_object_short_id(&buf, object) == 0) {
        id.assign(buf.ptr, buf.size);
    }
    git_buf_dispose(&buf);
    return id;
}

// The commit rev names, or nullptr with why in *problem.
CommitPtr CommitOf(git_repository* repo, const std::string& rev, std::string* problem) {
    git_object* found = nullptr;
    if (git_revparse_single(&found, repo, rev.c_str()) != 0) {
        *problem = "no revision " + rev + " (" + LastGitError() + ")";
        return nullptr;
    }
    ObjectPtr object(found);
    git_object* peeled = nullptr;
    if (git_object_peel(&peeled, object.get(), GIT_OBJECT_COMMIT) != 0) {
        *problem = rev + " is not a commit";
        return nullptr;
    }
    return CommitPtr(reinterpret_cast<git_commit*>(peeled));
}

TreePtr TreeOf(const git_commit* commit) {
    git_tree* tree = nullptr;
    return TreePtr(commit != nullptr && git_commit_tree(&tree, commit) == 0 ? tree : nullptr);
}

// The blob id of name in tree; false when the tree lacks it.
bool EntryId(const git_tree* tree, const std::string& name, git_oid& id) {
    const git_tree_entry* entry =
        tree == nullptr ? nullptr : git_tree_entry_byname(tree, name.c_str());
    if (entry == nullptr || git_tree_entry_type(entry) != GIT_OBJECT_BLOB) {
        return false;
    }
    git_oid_cpy(&id, git_tree_entry_id(entry));
    return true;
}

// HEAD's commit, nullptr while the branch has none.
CommitPtr HeadCommit(git_repository* repo) {
    git_oid id;
    git_commit* commit = nullptr;
    if (git_reference_name_to_id(&id, repo, "HEAD") != 0 ||
        git_commit_lookup(&commit, repo, &id) != 0) {
        return nullptr;
    }
    return CommitPtr(commit);
}

SignaturePtr Author(git_repository* repo) {
    git_signature* signature = nullptr;
    if (git_signature_default(&signature, repo) == 0) {
        return SignaturePtr(signature);
    }
    git_signature_now(&signature, FALLBACK_NAME, FALLBACK_EMAIL);
    return SignaturePtr(signature);
}

// The index takes the new blobs too, so that git sees the work tree as committed.
bool UpdateIndex(git_repository* repo, const std::map<std::string, git_oid>& blobs) {
    git_index* raw = nullptr;
    if (git_repository_index(&raw, repo) != 0) {
        return false;
    }
    IndexPtr index(raw);
    if (git_index_read(index.get(), 0) != 0) {
        return false;
    }
    for (const auto& [name, id] : blobs) {
        git_index_entry entry{};
        entry.mode = GIT_FILEMODE_BLOB;
        entry.path = name.c_str();
        git_oid_cpy(&entry.id, &id);
        if (git_index_add(index.get(), &entry) != 0) {
            return false;
        }
    }
    return git_index_write(index.get()) == 0;
}

} // namespace

std::string BackupFileName(const std::string& module) {
    return module + ".txt";
}

CBackupRepository::CBackupRepository() {
    git_libgit2_init();
}

CBackupRepository::~CBackupRepository() {
    git_repository_free(m_repo);
    git_libgit2_shutdown();
}

std::string CBackupRepository::Problem(const std::string& what) const {
    return what + " in " + m_dir + ": " + LastGitError();
}

bool CBackupRepository::Open(const std::string& dir, bool create, std::string* problem) {
    std::string why;
    git_repository_free(m_repo);
    m_repo = nullptr;
    m_dir = dir;
    const int opened =
        git_repository_open_ext(&m_repo, dir.c_str(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    if (opened == GIT_ENOTFOUND && !create) {
        why = dir + " is not a backup folder (no git repository there)";
    } else if (opened == GIT_ENOTFOUND && git_repository_init(&m_repo, dir.c_str(), 0) != 0) {
        why = "cannot make " + dir + " a git repository: " + LastGitError();
    } else if (opened != 0 && opened != GIT_ENOTFOUND) {
        why = "cannot open the git repository " + dir + ": " + LastGitError();
    } else if (git_repository_is_bare(m_repo) != 0) {
        why = dir + " is a bare git repository: backups need a folder to keep their files in";
    }
    if (why.empty()) {
        return true;
    }
    git_repository_free(m_repo);
    m_repo = nullptr;
    if (problem != nullptr) {
        *problem = why;
    }
    return false;
}

BackupFileText CBackupRepository::FileAt(const std::string& name, const std::string& rev) const {
    BackupFileText file;
    const CommitPtr commit = CommitOf(m_repo, rev, &file.problem);
    if (!commit) {
        return file;
    }
    file.commit = ShortId(reinterpret_cast<const git_object*>(commit.get()));
    const TreePtr tree = TreeOf(commit.get());
    git_oid id;
    git_blob* blob = nullptr;
    if (!EntryId(tree.get(), name, id)) {
        return file;
    }
    if (git_blob_lookup(&blob, m_repo, &id) != 0) {
        file.problem = Problem("cannot read " + name + " at " + rev);
        return file;
    }
    const BlobPtr held(blob);
    file.found = true;
    file.text.assign(static_cast<const char*>(git_blob_rawcontent(blob)),
                     static_cast<size_t>(git_blob_rawsize(blob)));
    return file;
}

std::vector<std::string> CBackupRepository::FilesAt(const std::string& suffix,
                                                    const std::string& rev) const {
    std::string problem;
    const CommitPtr commit = CommitOf(m_repo, rev, &problem);
    const TreePtr tree = TreeOf(commit.get());
    std::vector<std::string> names;
    const size_t count = tree ? git_tree_entrycount(tree.get()) : 0;
    for (size_t i = 0; i < count; ++i) {
        const git_tree_entry* entry = git_tree_entry_byindex(tree.get(), i);
        const std::string name = git_tree_entry_name(entry);
        if (git_tree_entry_type(entry) == GIT_OBJECT_BLOB && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

BackupCommitOutcome CBackupRepository::CommitFiles(const std::map<std::string, std::string>& files,
                                                   const std::string& message) {
    BackupCommitOutcome outcome;
    const CommitPtr head = HeadCommit(m_repo);
    const TreePtr headTree = TreeOf(head.get());
    git_treebuilder* rawBuilder = nullptr;
    if (git_treebuilder_new(&rawBuilder, m_repo, headTree.get()) != 0) {
        outcome.problem = Problem("cannot build a tree");
        return outcome;
    }
    const BuilderPtr builder(rawBuilder);
    std::map<std::string, git_oid> blobs;
    for (const auto& [name, text] : files) {
        // The file first: a run that cannot commit leaves it for the next one.
        if (const SaveOutcome saved = ReplaceFileContents(m_dir + "/" + name, text); !saved) {
            outcome.problem = saved.message;
            return outcome;
        }
        git_oid& id = blobs[name];
        if (git_blob_create_from_buffer(&id, m_repo, text.data(), text.size()) != 0 ||
            git_treebuilder_insert(nullptr, builder.get(), name.c_str(), &id, GIT_FILEMODE_BLOB) !=
                0) {
            outcome.problem = Problem("cannot store " + name);
            return outcome;
        }
    }
    git_oid treeId;
    git_tree* tree = nullptr;
    if (git_treebuilder_write(&treeId, builder.get()) != 0 ||
        git_tree_lookup(&tree, m_repo, &treeId) != 0) {
        outcome.problem = Problem("cannot write the tree");
        return outcome;
    }
    const TreePtr newTree(tree);
    if (headTree && git_oid_equal(&treeId, git_tree_id(headTree.get())) != 0) {
        outcome.ok = true;
        return outcome;
    }
    const SignaturePtr author = Author(m_repo);
    const git_commit* parents[] = {head.get()};
    git_oid commitId;
    if (!author || git_commit_create(&commitId, m_repo, "HEAD", author.get(), author.get(), nullptr,
                                     message.c_str(), newTree.get(), head ? 1 : 0, parents) != 0) {
        outcome.problem = Problem("cannot commit");
        return outcome;
    }
    if (!UpdateIndex(m_repo, blobs)) {
        outcome.problem = Problem("committed, but cannot update the index");
        return outcome;
    }
    git_object* made = nullptr;
    if (git_object_lookup(&made, m_repo, &commitId, GIT_OBJECT_COMMIT) == 0) {
        outcome.commit = ShortId(made);
        git_object_free(made);
    }
    outcome.ok = true;
    outcome.committed = true;
    return outcome;
}

std::vector<BackupCommit> CBackupRepository::History(const std::string& name) const {
    std::vector<BackupCommit> history;
    git_revwalk* rawWalk = nullptr;
    if (git_revwalk_new(&rawWalk, m_repo) != 0) {
        return history;
    }
    const WalkPtr walk(rawWalk);
    git_revwalk_sorting(walk.get(), GIT_SORT_TOPOLOGICAL | GIT_SORT_TIME);
    if (git_revwalk_push_head(walk.get()) != 0) {
        return history; // no commit yet
    }
    git_oid id;
    while (git_revwalk_next(&id, walk.get()) == 0) {
        git_commit* raw = nullptr;
        if (git_commit_lookup(&raw, m_repo, &id) != 0) {
            continue;
        }
        const CommitPtr commit(raw);
        git_oid mine, before;
        const bool here = EntryId(TreeOf(commit.get()).get(), name, mine);
        CommitPtr parent;
        git_commit* rawParent = nullptr;
        if (git_commit_parentcount(commit.get()) > 0 &&
            git_commit_parent(&rawParent, commit.get(), 0) == 0) {
            parent.reset(rawParent);
        }
        const bool there = EntryId(TreeOf(parent.get()).get(), name, before);
        if (here == there && (!here || git_oid_equal(&mine, &before) != 0)) {
            continue;
        }
        BackupCommit entry;
        entry.id = Hex(id);
        entry.shortId = ShortId(reinterpret_cast<const git_object*>(commit.get()));
        entry.parent = parent ? Hex(*git_commit_id(parent.get())) : std::string();
        entry.time = git_commit_time(commit.get());
        entry.offsetMinutes = git_commit_time_offset(commit.get());
        const char* text = git_commit_message(commit.get());
        entry.message = text != nullptr ? text : "";
        history.push_back(std::move(entry));
    }
    return history;
}
