// One run of a compiled stylesheet against one source document: the per-run state (the
// source, the global variables, the nesting counters) and the steps of the run.
#pragma once

#include "tree/document_registry.h"
#include "xslt/keys.h"
#include "xslt/number.h"
#include "xslt/variables.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ovra {

class Document;
class Node;
class Parameters;
class ResultDocuments;
class Serializer;
class Stylesheet;
class Template;

// Lives for exactly one run; the stylesheet and the source outlive it. Every sink of the
// run points to it.
class Transformation {
 public:
  // Nested template invocations (apply-templates, call-template, templates applied by the
  // built-in rules, global variables being evaluated) allowed before the run stops with
  // an error: an endless recursion ends with a message, not a crash.
  static constexpr std::int32_t kMaxTemplateDepth = 200000;
  // Whatever nests (templates, bodies of deeply nested stylesheets) also checks the stack
  // actually left on the thread the run is on, keeping kStackMargin (at most an eighth
  // of the stack) in reserve for the work between two checks. The program runs its
  // modes on a stack of kLargeStackBytes, where kMaxTemplateDepth is reached first.
  static constexpr std::size_t kStackMargin = std::size_t(8) << 20;

  // parameters may be null (none given); when not, it outlives the run. So may
  // documents, which receives the files the run writes besides its main result; without
  // it the run keeps its own, committed by commitOwnResultDocuments().
  Transformation(const Stylesheet& stylesheet, Document& source,
                 const Parameters* parameters = nullptr, ResultDocuments* documents = nullptr);
  Transformation(const Transformation&) = delete;
  Transformation& operator=(const Transformation&) = delete;
  ~Transformation();

  // The run on the current thread: parses the first chunk of the source, defines the
  // globals, applies the output settings to serializer, and applies templates to the
  // source root. TerminateException and every XSLException pass to the caller.
  void run(Serializer& serializer);

  const Stylesheet& stylesheet() const { return *stylesheet_; }
  Document& source() const { return *source_; }
  // The source root; null before run() has parsed the first chunk.
  Node* sourceRoot() const;
  GlobalVariables& globals() { return globals_; }
  // The key indexes of the run, built as key() first needs them.
  KeyIndexes& keys() { return keys_; }
  // The place where one xsl:number level="any" left off in this run.
  NumberMemo& numberMemo(const void* instruction) { return numberMemos_[instruction]; }
  // The documents document() loads in this run, each once.
  DocumentRegistry& documents() { return documents_; }
  // Keeps a tree that a function made (exsl:node-set() of a string) until the run ends:
  // paths may hold nodes of it after the value that owned it is gone.
  void keepTree(std::shared_ptr<Node> tree) { keptTrees_.push_back(std::move(tree)); }
  // Values given from outside for the top-level xsl:params; null when none were.
  const Parameters* parameters() const { return parameters_; }

  // The files the run writes besides its main result (exsl:document).
  ResultDocuments& resultDocuments();
  // After a successful run without documents of the caller's: its files replace their
  // targets. Throws OutputException.
  void commitOwnResultDocuments();
  // What an extension keeps for the length of a run (the strings dyn:evaluate compiled),
  // under a key of its own; null until it sets one.
  class ExtensionState {
   public:
    ExtensionState() = default;
    ExtensionState(const ExtensionState&) = delete;
    ExtensionState& operator=(const ExtensionState&) = delete;
    virtual ~ExtensionState();
  };
  ExtensionState* extensionState(const void* key) const;
  ExtensionState& setExtensionState(const void* key, std::unique_ptr<ExtensionState> state);

  // The URI of the result being written, against which a document's relative href
  // resolves: the main result's, or that of the document being written.
  const std::string& outputURI();
  // Makes uri the result being written while it lives.
  class OutputScope {
   public:
    OutputScope(Transformation& run, std::string uri) : run_(run), previous_(run.outputURI_) {
      run.outputURI_ = std::move(uri);
    }
    OutputScope(const OutputScope&) = delete;
    OutputScope& operator=(const OutputScope&) = delete;
    ~OutputScope() { run_.outputURI_ = std::move(previous_); }

   private:
    Transformation& run_;
    std::string previous_;
  };

  // Counts one nested template invocation while it lives; throws StylesheetException at
  // `at` (the invoking instruction) beyond kMaxTemplateDepth or when the stack runs low.
  class TemplateScope {
   public:
    TemplateScope(Transformation& run, const Node* at);
    TemplateScope(const TemplateScope&) = delete;
    TemplateScope& operator=(const TemplateScope&) = delete;
    ~TemplateScope() { --run_.templateDepth_; }

   private:
    Transformation& run_;
  };
  // Throws StylesheetException at `at` when the stack of the current thread is nearly
  // used up; called wherever bodies nest.
  void checkStack(const Node* at) const;

  std::int32_t templateDepth() const { return templateDepth_; }

  // The template rule whose body is running (what xsl:apply-imports continues from);
  // null outside any.
  const Template* currentRule() const { return currentRule_; }
  // Makes rule the current template rule while it lives.
  class RuleScope {
   public:
    RuleScope(Transformation& run, const Template* rule) : run_(run), previous_(run.currentRule_) {
      run.currentRule_ = rule;
    }
    RuleScope(const RuleScope&) = delete;
    RuleScope& operator=(const RuleScope&) = delete;
    ~RuleScope() { run_.currentRule_ = previous_; }

   private:
    Transformation& run_;
    const Template* previous_;
  };

 private:
  const Stylesheet* stylesheet_;  // not owned; outlives the run
  Document* source_;              // not owned; outlives the run
  const Parameters* parameters_;  // not owned; null or outlives the run
  GlobalVariables globals_;
  KeyIndexes keys_;
  std::unordered_map<const void*, NumberMemo> numberMemos_;
  std::vector<std::shared_ptr<Node>> keptTrees_;
  DocumentRegistry documents_;
  ResultDocuments* resultDocuments_;  // not owned; null until asked for
  // resultDocuments_ when the caller gave none.
  std::unique_ptr<ResultDocuments> ownResultDocuments_;
  std::string outputURI_;  // empty: the main result's
  std::vector<std::pair<const void*, std::unique_ptr<ExtensionState>>> extensionStates_;
  std::int32_t templateDepth_ = 0;
  std::int32_t maxTemplateDepth_ = kMaxTemplateDepth;
  const Template* currentRule_ = nullptr;
  // The lowest stack addresses bodies and templates may start at; 0 when the bounds of
  // the stack are unknown.
  std::uintptr_t bodyStackLimit_ = 0;
  std::uintptr_t templateStackLimit_ = 0;
};

}  // namespace ovra
