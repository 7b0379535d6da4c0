#include "platform/outcome.h"

#include <cerrno>

namespace livrana {

std::string_view CauseText(Cause cause) {
  switch (cause) {
    case Cause::kNone:
      return "";
    case Cause::kNotFound:
      return "arquivo ou pasta inexistente";
    case Cause::kExists:
      return "o destino já existe";
    case Cause::kPermission:
      return "sem permissão";
    case Cause::kReadOnly:
      return "arquivo somente leitura";
    case Cause::kDiskFull:
      return "disco cheio";
    case Cause::kIo:
      return "erro de leitura/gravação";
    case Cause::kShortWrite:
      return "gravação incompleta (disco cheio?)";
    case Cause::kBusy:
      return "arquivo em uso por outro programa";
    case Cause::kBadName:
      return "nome inválido";
    case Cause::kOutside:
      return "caminho fora da pasta de dados";
    case Cause::kNotAFile:
      return "não é um arquivo comum";
    case Cause::kNotEmpty:
      return "a pasta não está vazia";
    case Cause::kNoSafetyFolder:
      return "pasta de cópias de segurança inexistente";
    case Cause::kNoSafetyName:
      return "não há nome livre para a cópia de segurança (.001 a .100 já existem)";
    case Cause::kLayout:
      return "a pasta não está no layout que esta etapa converte";
    case Cause::kNotDataFolder:
      return "não é uma pasta de dados do Livrana";
    case Cause::kNoCompany:
      return "nenhuma empresa do cadastro tem este código";
    case Cause::kInterrupted:
      return "interrompida; execute de novo para continuar";
    case Cause::kNoRun:
      return "não há execução com cópias de segurança (--backup) a desfazer";
    case Cause::kLaterRun:
      return "uma execução posterior ainda não foi desfeita";
    case Cause::kUndone:
      return "a execução já foi desfeita";
    case Cause::kCopyDamaged:
      return "cópia de segurança ausente ou incompleta";
    case Cause::kNotRestored:
      return "a pasta não ficou como era antes da execução";
    case Cause::kDamaged:
      return "conteúdo danificado";
    case Cause::kNoRecord:
      return "o registro pedido está fora do arquivo";
    case Cause::kTooLarge:
      return "o arquivo ultrapassou o limite permitido (2 GB)";
    case Cause::kNotLocked:
      return "a pasta de dados não está travada por esta execução";
    case Cause::kClosed:
      return "o arquivo já foi fechado";
    case Cause::kOther:
      return "erro do sistema";
  }
  return "erro do sistema";
}

std::string_view OperationText(Operation operation) {
  switch (operation) {
    case Operation::kNone:
      return "usar";
    case Operation::kOpen:
      return "abrir";
    case Operation::kCreate:
      return "criar";
    case Operation::kRead:
      return "ler";
    case Operation::kWrite:
      return "gravar";
    case Operation::kTruncate:
      return "encurtar";
    case Operation::kSync:
      return "gravar no disco";
    case Operation::kClose:
      return "fechar";
    case Operation::kAttributes:
      return "mudar os atributos de";
    case Operation::kRename:
      return "renomear";
    case Operation::kCopy:
      return "copiar";
    case Operation::kRemove:
      return "apagar";
    case Operation::kMakeFolder:
      return "criar a pasta";
    case Operation::kRemoveFolder:
      return "remover a pasta";
    case Operation::kList:
      return "listar a pasta";
    case Operation::kLock:
      return "travar a pasta de dados com";
    case Operation::kCheck:
      return "conferir";
    case Operation::kRun:
      return "executar";
    case Operation::kUndo:
      return "desfazer";
  }
  return "usar";
}

std::string Describe(const Outcome& outcome) {
  if (outcome.ok()) return {};
  std::string text;
  switch (outcome.operation()) {
    case Operation::kCheck:
    case Operation::kRun:
      // Not a file operation: the cause says it all; the file, when named, follows.
      text = CauseText(outcome.cause());
      if (!outcome.file().empty()) text += " (" + outcome.file() + ")";
      break;
    default:
      text = "não foi possível ";
      text += OperationText(outcome.operation());
      if (!outcome.file().empty()) text += " " + outcome.file();
      text += ": ";
      text += CauseText(outcome.cause());
      break;
  }
  if (!outcome.detail().empty()) text += "; " + outcome.detail();
  return text;
}

std::string Sentence(const Outcome& outcome) {
  std::string text = Describe(outcome);
  if (text.empty()) return text;
  if (text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text + ".";
}

Cause CauseOfErrno(int error) {
  switch (error) {
    case 0:
      return Cause::kOther;
    case ENOENT:
    case ENOTDIR:
      return Cause::kNotFound;
    case EEXIST:
      return Cause::kExists;
    case EACCES:
    case EPERM:
      return Cause::kPermission;
    case EROFS:
      return Cause::kReadOnly;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return Cause::kDiskFull;
    case EIO:
      return Cause::kIo;
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
      return Cause::kBusy;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return Cause::kBadName;
    case EISDIR:
      return Cause::kNotAFile;
    case ENOTEMPTY:
      return Cause::kNotEmpty;
    default:
      return Cause::kOther;
  }
}

}  // namespace livrana
